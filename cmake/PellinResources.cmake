# Bundles: each program or library named N keeps its localised resources in
# share/pellin/N/Resources above the folder it lies in, in the build tree (build/bin, build/lib,
# build/share) as in an installed prefix (bin, lib, share). PellinFoundation's Bundle looks for
# them there, so "share/pellin" is written out rather than taken from CMAKE_INSTALL_DATADIR.

# pellin_bundle_resources(<target> NAME <BundleName> DIRECTORY <folder holding the .lproj folders>)
# Copies the folder's files into the build tree whenever <target> is built (and again when one
# changes), and installs them to the same place under the prefix.
function(pellin_bundle_resources target)
  cmake_parse_arguments(ARG "" "NAME;DIRECTORY" "" ${ARGN})
  if(NOT ARG_NAME OR NOT ARG_DIRECTORY)
    message(FATAL_ERROR "pellin_bundle_resources(${target}) needs NAME and DIRECTORY")
  endif()
  get_filename_component(source ${ARG_DIRECTORY} ABSOLUTE)
  set(destination share/pellin/${ARG_NAME}/Resources)
  set(stage ${CMAKE_BINARY_DIR}/${destination})
  file(GLOB_RECURSE files CONFIGURE_DEPENDS RELATIVE ${source} ${source}/*)
  set(staged)
  foreach(file IN LISTS files)
    get_filename_component(folder ${stage}/${file} DIRECTORY)
    add_custom_command(OUTPUT ${stage}/${file}
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
                       COMMAND ${CMAKE_COMMAND} -E copy ${source}/${file} ${stage}/${file}
                       DEPENDS ${source}/${file}
                       COMMENT "Staging ${ARG_NAME}/Resources/${file}")
    list(APPEND staged ${stage}/${file})
  endforeach()
  add_custom_target(${ARG_NAME}Resources DEPENDS ${staged})
  add_dependencies(${target} ${ARG_NAME}Resources)
  pellin_component_of(${ARG_NAME} component)
  install(DIRECTORY ${source}/ DESTINATION ${destination} COMPONENT ${component})
endfunction()
