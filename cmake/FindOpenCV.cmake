# Fallback for Debian's split OpenCV -dev packages, which ship headers and
# libraries but no CMake config. Defines the imported targets opencv_core and
# opencv_imgproc.
find_path(OpenCV_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4)
find_library(OpenCV_core_LIBRARY NAMES opencv_core)
find_library(OpenCV_imgproc_LIBRARY NAMES opencv_imgproc)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(OpenCV
  REQUIRED_VARS OpenCV_INCLUDE_DIR OpenCV_core_LIBRARY OpenCV_imgproc_LIBRARY)

if(OpenCV_FOUND)
  if(NOT TARGET opencv_core)
    add_library(opencv_core UNKNOWN IMPORTED)
    set_target_properties(opencv_core PROPERTIES
      IMPORTED_LOCATION "${OpenCV_core_LIBRARY}"
      INTERFACE_INCLUDE_DIRECTORIES "${OpenCV_INCLUDE_DIR}")
  endif()
  if(NOT TARGET opencv_imgproc)
    add_library(opencv_imgproc UNKNOWN IMPORTED)
    set_target_properties(opencv_imgproc PROPERTIES
      IMPORTED_LOCATION "${OpenCV_imgproc_LIBRARY}"
      INTERFACE_INCLUDE_DIRECTORIES "${OpenCV_INCLUDE_DIR}"
      INTERFACE_LINK_LIBRARIES opencv_core)
  endif()
  set(OpenCV_LIBS opencv_core opencv_imgproc)
  set(OpenCV_INCLUDE_DIRS "${OpenCV_INCLUDE_DIR}")
endif()
mark_as_advanced(OpenCV_INCLUDE_DIR OpenCV_core_LIBRARY OpenCV_imgproc_LIBRARY)
