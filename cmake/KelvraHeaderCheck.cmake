# kelvra_check_headers()
# Compiles every header of the tree's targets on its own, so a header that
# leans on what its includer happened to include first breaks the build.
# Each header in the source list of a target (INTERFACE_SOURCES for an
# interface library) gets a generated source that includes only it, compiled
# in an OBJECT library <target>.headers with the target's include
# directories, definitions, options and libraries, private ones included. A
# header listed by several targets is compiled once, with the first. No
# precompiled headers: they would supply the very includes the check looks
# for. Call once, after every target is declared; `cmake --build <dir>
# --target check-headers` runs the check alone.
function(kelvra_check_headers)
  set(targets "")
  _kelvra_targets_below("${PROJECT_SOURCE_DIR}" targets)
  set(checked "")
  add_custom_target(check-headers)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(sources ${target} INTERFACE_SOURCES)
    elseif(type MATCHES "^(STATIC|SHARED|MODULE|OBJECT)_LIBRARY$|^EXECUTABLE$")
      get_target_property(sources ${target} SOURCES)
    else()
      continue()
    endif()
    if(NOT sources)
      continue()
    endif()
    get_target_property(source_dir ${target} SOURCE_DIR)
    set(units "")
    foreach(source IN LISTS sources)
      if(NOT source MATCHES "\\.(h|hh|hpp|hxx)$" OR source MATCHES "^\\$<")
        continue()
      endif()
      get_filename_component(header "${source}" ABSOLUTE BASE_DIR "${source_dir}")
      file(RELATIVE_PATH rel "${PROJECT_SOURCE_DIR}" "${header}")
      file(RELATIVE_PATH in_build "${PROJECT_BINARY_DIR}" "${header}")
      # Generated headers (moc, ui) are not ours to check.
      if(rel MATCHES "^\\.\\./" OR NOT in_build MATCHES "^\\.\\./" OR header IN_LIST checked)
        continue()
      endif()
      list(APPEND checked "${header}")
      set(unit "${PROJECT_BINARY_DIR}/header-check/${rel}.cpp")
      # Written only when it changes, so a new configure rebuilds nothing.
      file(CONFIGURE OUTPUT "${unit}" CONTENT "#include \"${header}\" // must compile on its own\n")
      list(APPEND units "${unit}")
    endforeach()
    if(NOT units)
      continue()
    endif()

    set(check ${target}.headers)
    add_library(${check} OBJECT ${units})
    set_target_properties(${check} PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF
      DISABLE_PRECOMPILE_HEADERS ON UNITY_BUILD OFF)
    if(type STREQUAL "INTERFACE_LIBRARY")
      target_link_libraries(${check} PRIVATE ${target})
    else()
      get_target_property(libs ${target} LINK_LIBRARIES)
      if(libs)
        target_link_libraries(${check} PRIVATE ${libs})
      endif()
      target_include_directories(${check} PRIVATE $<TARGET_PROPERTY:${target},INCLUDE_DIRECTORIES>)
      target_compile_definitions(${check} PRIVATE $<TARGET_PROPERTY:${target},COMPILE_DEFINITIONS>)
      target_compile_options(${check} PRIVATE $<TARGET_PROPERTY:${target},COMPILE_OPTIONS>)
    endif()
    if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
      # Never linked: debug information would only cost time.
      target_compile_options(${check} PRIVATE -g0)
    endif()
    add_dependencies(check-headers ${check})
  endforeach()
endfunction()

# The build-system targets declared in dir and the folders below it.
function(_kelvra_targets_below dir out)
  get_property(found DIRECTORY "${dir}" PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY "${dir}" PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    set(below "")
    _kelvra_targets_below("${sub}" below)
    list(APPEND found ${below})
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()
