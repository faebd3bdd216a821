// fxburn: the console firmware updater.

#include "fxburn/Fxburn.h"

#include <iostream>

#ifdef _WIN32
#include "fxburn/port/win/WinDriverPort.h"
#else
#include "fxburn/port/NoDevicePort.h"
#endif

int main(int argc, char** argv)
{
#ifdef _WIN32
    fxburn::port::win::WinDriverPort driver;
    fxburn::port::win::WinClock clock;
#else
    // No kernel driver here: the device class has no members.
    fxburn::port::NoDevicePort driver;
    fxburn::port::SteadyClock clock;
#endif
    return fxburn::runFxburn(argc, argv, fxburn::port::Platform{&driver, &clock}, std::cout, std::cerr, std::cin);
}
