// The simulated camera models: parameter tables, profiles, triggers.

#include "Detail.h"

namespace Tavik {

CameraProfile::CameraProfile(int id, int width, int height, float fx, float fy, float cx, float cy)
    : CameraProfile(id, width, height, {{"fx", fx}, {"fy", fy}, {"cx", cx}, {"cy", cy}})
{
}

CameraProfile::CameraProfile(int id, int width, int height, std::map<std::string, float> calib)
    : id_(id)
    , width_(width)
    , height_(height)
    , calib_(std::move(calib))
{
}

float CameraProfile::getFloat(const std::string& section, const std::string& key) const
{
    if (!hasFloat(section, key))
        return 0.f;
    return calib_.at(key);
}

bool CameraProfile::hasFloat(const std::string& section, const std::string& key) const
{
    return section == "calib" && calib_.count(key) != 0;
}

CameraProfilePtr ConfigFile::getCameraProfile(int id) const
{
    if (!camera_)
        return nullptr;
    for (const auto& p : camera_->model.profiles)
        if (p->id() == id)
            return p;
    return nullptr;
}

} // namespace Tavik

namespace Tavik::detail {

namespace {

ParamSpec onOff(std::string name, std::string displayName, std::string description)
{
    ParamSpec s =
        makeSpec(ParamKind::Bool, std::move(name), 0, 1, 0, "", std::move(displayName), std::move(description));
    s.meanings = {"Off", "On"};
    return s;
}

ParamSpec withRegister(ParamSpec s, uint32_t address, int msb, int lsb)
{
    s.address = address;
    s.msb = msb;
    s.lsb = lsb;
    return s;
}

ParamSpec withIo(ParamSpec s, Parameter::IOType io)
{
    s.io = io;
    return s;
}

ParamSpec enumParam(std::string name, std::vector<int32_t> allowed, double def, std::vector<std::string> meanings,
                    std::vector<std::string> descriptions, std::string displayName, std::string description)
{
    ParamSpec s = makeSpec(ParamKind::Enum, std::move(name), allowed.front(), allowed.back(), def, "",
                           std::move(displayName), std::move(description));
    s.allowed = std::move(allowed);
    s.meanings = std::move(meanings);
    s.descriptions = std::move(descriptions);
    return s;
}

ParamSpec unambiguousRange()
{
    return makeSpec(ParamKind::Float, "unambiguous_range", 1.0, 15.0, 3.9972, "m", "Unambiguous Range",
                    "Largest distance measured without phase wrap$set through the modulation frequencies");
}

// Parameters every model with illumination control has.
std::vector<ParamSpec> illuminationParams()
{
    return {
        makeSpec(ParamKind::Uint, "intg_time", 20, 1000, 200, "us", "Integration Time",
                 "Integration time$per sub frame"),
        makeSpec(ParamKind::Float, "illum_volt", 0.0, 10.0, 2.5, "V", "Illumination Voltage",
                 "Supply of the light source"),
        makeSpec(ParamKind::Float, "mix_volt", 0.5, 3.7, 2.75, "V", "Mixing Voltage",
                 "Demodulation contrast of the pixels"),
    };
}

CameraProfilePtr profile(int id, int w, int h, float fx, float fy, float cx, float cy)
{
    return std::make_shared<CameraProfile>(id, w, h, fx, fy, cx, cy);
}

CameraModelInfo quenta14()
{
    CameraModelInfo m;
    m.type = "Quenta14Camera";
    m.chipset = "sim.common";
    m.vcoQuantised = true;
    m.triggers = {1, 2, 3, 4, 5, 6, 8, 9};
    m.params = {
        unambiguousRange(),
        withRegister(onOff("dealias_en", "Dealiasing", "Combines two modulation frequencies$to extend the range"), 0x10,
                     0, 0),
        makeSpec(ParamKind::Float, "mod_freq1", 20.0, 100.0, 37.5, "MHz", "Modulation Frequency 1",
                 "Quantised to vco_freq / N"),
        makeSpec(ParamKind::Float, "mod_freq2", 20.0, 100.0, 30.0, "MHz", "Modulation Frequency 2",
                 "Second frequency, used when dealiasing"),
        withRegister(makeSpec(ParamKind::Uint, "vco_freq", 300, 900, 600, "MHz", "VCO Frequency",
                              "Source of both modulation frequencies"),
                     0x11, 15, 0),
        withRegister(
            makeSpec(ParamKind::Uint, "quad_cnt_max", 1, 8, 4, "", "Quad Count", "Phase samples per sub frame"), 0x12,
            3, 0),
        withRegister(makeSpec(ParamKind::Uint, "sub_frame_cnt_max", 1, 8, 2, "", "Sub-frame Count", ""), 0x12, 7, 4),
        withRegister(makeSpec(ParamKind::Uint, "ma", 1, 15, 3, "", "Dealiasing Coefficient 1",
                              "Dealiasing coefficient of frequency 1"),
                     0x1a, 7, 4),
        withRegister(makeSpec(ParamKind::Uint, "mb", 1, 15, 4, "", "Dealiasing Coefficient 2",
                              "Dealiasing coefficient of frequency 2"),
                     0x1a, 3, 0),
        withRegister(onOff("dealias_16bit_op_enable", "16-bit Dealiasing", ""), 0x1b, 0, 0),
        withRegister(makeSpec(ParamKind::Uint, "dealiased_ph_mask", 0, 255, 0, "", "Dealiased Phase Mask", ""), 0x1c, 7,
                     0),
    };
    for (auto& p : illuminationParams())
        m.params.push_back(p);
    m.params.push_back(
        makeSpec(ParamKind::Int, "depth_offset", -500, 500, 12, "mm", "Depth Offset", "Added to every distance"));
    m.params.push_back(enumParam("illum_power", {0, 1, 2}, 2, {"Off", "Low", "High"}, {"", "short", ""},
                                 "Illumination Power", "Light source power level"));
    m.params.push_back(withIo(makeSpec(ParamKind::StrobeBool, "soft_reset", 0, 1, 0, "", "Soft Reset",
                                       "Restarts the sensor$without reconnecting"),
                              Parameter::IO_WRITE_ONLY));
    m.params.push_back(withIo(makeSpec(ParamKind::Float, "chip_temp", -40.0, 125.0, 35.0, "C", "Chip Temperature", ""),
                              Parameter::IO_READ_ONLY));
    m.params.push_back(
        makeSpec(ParamKind::Float, "frame_rate", 1.0, 60.0, 30.0, "fps", "Frame Rate", "Frame sets per second"));
    m.profiles = {
        profile(0, 320, 240, 200, 200, 160, 120), profile(1, 320, 240, 320, 320, 160, 120),
        profile(2, 320, 180, 200, 200, 160, 90),  profile(3, 160, 120, 100, 100, 80, 60),
        profile(4, 80, 60, 50, 50, 40, 30),       profile(5, 320, 240, 0, 200, 160, 120),
    };
    return m;
}

CameraModelInfo quentaD()
{
    CameraModelInfo m;
    m.type = "QuentaDCamera";
    m.chipset = "meridian.tk";
    m.freqStep = 0.5;
    m.triggers = {1, 2, 3};
    m.params = {
        unambiguousRange(),
        onOff("dealias_en", "Dealiasing", "Combines two modulation frequencies$to extend the range"),
        onOff("alt_frm_en", "Alternate Frames", "Alternates the frequencies frame by frame"),
        makeSpec(ParamKind::Float, "mod_freq1", 20.0, 100.0, 40.0, "MHz", "Modulation Frequency 1", "Steps of 0.5 MHz"),
        makeSpec(ParamKind::Float, "mod_freq2", 20.0, 100.0, 32.0, "MHz", "Modulation Frequency 2", "Steps of 0.5 MHz"),
        makeSpec(ParamKind::Uint, "sub_frame_cnt_max1", 1, 8, 2, "", "Sub-frame Count 1", "Sub frames at frequency 1"),
        enumParam("alt_freq_sel", {0, 1, 2}, 0, {"Freq1", "Freq2", "Alternate"}, {}, "Frequency Selection", ""),
        makeSpec(ParamKind::Uint, "sub_frame_cnt_max2", 1, 8, 2, "", "Sub-frame Count 2", "Sub frames at frequency 2"),
        makeSpec(ParamKind::Uint, "sup_frm_intg_scale", 1, 16, 1, "", "Super-frame Integration Scale", ""),
    };
    for (auto& p : illuminationParams())
        m.params.push_back(p);
    m.profiles = {profile(0, 320, 240, 200, 200, 160, 120), profile(1, 160, 120, 100, 100, 80, 60)};
    return m;
}

CameraModelInfo degraded()
{
    CameraModelInfo m;
    m.type = "QuentaDCamera";
    m.chipset = "";
    m.freqStep = 0.5;
    m.triggers = {1};
    m.disconnectFails = true;
    m.params = {
        makeSpec(ParamKind::Float, "mod_freq1", 20.0, 100.0, 40.0, "MHz", "Modulation Frequency 1", ""),
        makeSpec(ParamKind::Uint, "quad_cnt_max", 1, 8, 4, "", "Quad Count", ""),
        makeSpec(ParamKind::Uint, "intg_time", 20, 1000, 200, "us", "Integration Time",
                 "Integration time$per sub frame"),
    };
    m.profiles = {profile(0, 160, 120, 100, 100, 80, 60)};
    return m;
}

} // namespace

CameraModelInfo cameraModel(CameraModel model)
{
    switch (model) {
    case CameraModel::Quenta14: return quenta14();
    case CameraModel::QuentaD: return quentaD();
    case CameraModel::Degraded: return degraded();
    }
    return quenta14();
}

} // namespace Tavik::detail
