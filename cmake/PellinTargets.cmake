# Helpers shared by every library of the tree: warnings, public headers and install rules.

set(PELLIN_WARNING_FLAGS -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion
    -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual)
# GCC 12 reports impossible memcpy overlaps inside std::string concatenation at -O2 and above
# (GCC bug 105329); the warning says nothing about our code there.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  list(APPEND PELLIN_WARNING_FLAGS -Wno-restrict)
endif()

# Install components, one per Debian package (cmake/PellinPackaging.cmake names the packages).
# Each shared library ships with the library of ours that needs it first: the platform stand-ins
# Foundation and Lumberjack with PellinLog, AppKit with PellinCommonFramework. All of them take
# their SONAME from one place (pellin_install_library), so their versions change together.
# Static libraries, headers, development links and the CMake package go to Development.
set(PELLIN_COMPONENT_OF_PellinLog PellinLog)
set(PELLIN_COMPONENT_OF_PellinFoundation PellinLog)
set(PELLIN_COMPONENT_OF_PellinLumberjack PellinLog)
set(PELLIN_COMPONENT_OF_PellinCommonFramework PellinCommonFramework)
set(PELLIN_COMPONENT_OF_PellinAppKit PellinCommonFramework)
set(PELLIN_COMPONENT_OF_PellinUninstaller Uninstaller)

# pellin_component_of(<name> <variable>): the component of the library or bundle <name>.
function(pellin_component_of name variable)
  if(NOT PELLIN_COMPONENT_OF_${name})
    message(FATAL_ERROR "No install component for ${name}: add it to cmake/PellinTargets.cmake")
  endif()
  set(${variable} ${PELLIN_COMPONENT_OF_${name}} PARENT_SCOPE)
endfunction()

# pellin_warnings(<target>): the project's warning set, fatal when PELLIN_WARNINGS_AS_ERRORS is on.
function(pellin_warnings target)
  target_compile_options(${target} PRIVATE ${PELLIN_WARNING_FLAGS})
  if(PELLIN_WARNINGS_AS_ERRORS)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# pellin_public_headers(<target> <include-folder> <header>...)
# Headers stay where the product's layout keeps them, but consumers include them as
# <include-folder/Header.h>, in the build tree and once installed. The build tree gets a small
# forwarding header per file so that editing a header never needs a re-configure.
function(pellin_public_headers target folder)
  set(stage ${CMAKE_BINARY_DIR}/include)
  foreach(header IN LISTS ARGN)
    get_filename_component(absolute ${header} ABSOLUTE)
    get_filename_component(name ${header} NAME)
    set(forward ${stage}/${folder}/${name})
    set(content "#include \"${absolute}\"\n")
    if(EXISTS ${forward})
      file(READ ${forward} existing)
    else()
      set(existing "")
    endif()
    if(NOT existing STREQUAL content)
      file(WRITE ${forward} ${content})
    endif()
    install(FILES ${absolute} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${folder}
            COMPONENT Development)
  endforeach()
  # The headers use C++20 (concepts, consteval format checks), so consumers need it too.
  target_compile_features(${target} PUBLIC cxx_std_20)
  target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${stage}>
                                              $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
endfunction()

# pellin_install_library(<target>): installs the library into the exported Pellin package.
function(pellin_install_library target)
  get_target_property(type ${target} TYPE)
  set(component Development)
  if(type STREQUAL "SHARED_LIBRARY")
    set_target_properties(${target} PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION 1)
    pellin_component_of(${target} component)
  endif()
  install(TARGETS ${target} EXPORT PellinTargets
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ${component}
                  NAMELINK_COMPONENT Development
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development
          RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${component})
  add_library(Pellin::${target} ALIAS ${target})
endfunction()

function(pellin_install_package)
  set(config_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Pellin)
  install(EXPORT PellinTargets NAMESPACE Pellin:: DESTINATION ${config_dir} COMPONENT Development)
  configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/PellinConfig.cmake.in
                                ${CMAKE_BINARY_DIR}/PellinConfig.cmake
                                INSTALL_DESTINATION ${config_dir})
  write_basic_package_version_file(${CMAKE_BINARY_DIR}/PellinConfigVersion.cmake
                                   COMPATIBILITY SameMajorVersion)
  install(FILES ${CMAKE_BINARY_DIR}/PellinConfig.cmake ${CMAKE_BINARY_DIR}/PellinConfigVersion.cmake
          DESTINATION ${config_dir} COMPONENT Development)
endfunction()
