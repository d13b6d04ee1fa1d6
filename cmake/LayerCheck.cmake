# The build refuses the shortcuts between layers (see ARCHITECTURE.md):
#   the engine sees only common/ (no client folder on its include path);
#   the core links no GUI library and no window layer;
#   the platform and the framework never link the core;
#   the window folders stack: widgets under admin under main, and none sees
#   or links a folder above it;
#   no source includes a header by a path, round its include path;
#   no two files of the core include each other.
# Checked when configuring, on the targets' link closures and include paths,
# and when building, by linking every object of the core without the GUI
# libraries the toolchain would otherwise add by default.

function(omnora_link_closure target out)
  set(seen "")
  set(queue ${target})
  while(queue)
    list(POP_FRONT queue item)
    if(item IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${item})
    if(TARGET ${item})
      get_target_property(libs ${item} INTERFACE_LINK_LIBRARIES)
      get_target_property(own ${item} LINK_LIBRARIES)
      foreach(lib IN LISTS libs own)
        if(lib AND NOT lib MATCHES "NOTFOUND$")
          string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" lib "${lib}")
          list(APPEND queue ${lib})
        endif()
      endforeach()
    endif()
  endwhile()
  list(REMOVE_ITEM seen ${target})
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

function(omnora_refuse_links target)
  omnora_link_closure(${target} closure)
  foreach(forbidden IN LISTS ARGN)
    if(forbidden IN_LIST closure)
      message(FATAL_ERROR "Layer check: ${target} must not link ${forbidden} (see ARCHITECTURE.md)")
    endif()
  endforeach()
endfunction()

function(omnora_refuse_include_dirs target folder)
  omnora_link_closure(${target} closure)
  foreach(item IN LISTS closure ITEMS ${target})
    if(TARGET ${item})
      get_target_property(dirs ${item} INTERFACE_INCLUDE_DIRECTORIES)
      get_target_property(own ${item} INCLUDE_DIRECTORIES)
      foreach(dir IN LISTS dirs own)
        if(dir MATCHES "^${folder}")
          message(FATAL_ERROR "Layer check: ${target} sees ${dir} through ${item} (see ARCHITECTURE.md)")
        endif()
      endforeach()
    endif()
  endforeach()
endfunction()

set(OMNORA_WINDOW_LAYERS omnora_platform omnora_framework omnora_widgets omnora_admin omnora_main)
omnora_refuse_include_dirs(vantor_engine ${PROJECT_SOURCE_DIR}/client)
omnora_refuse_include_dirs(common_engine ${PROJECT_SOURCE_DIR}/client)
omnora_refuse_links(vantor_engine omnora_core common_client ${OMNORA_WINDOW_LAYERS})
omnora_refuse_links(common_client ${OMNORA_GUI_LIBRARIES})
omnora_refuse_links(omnora_core ${OMNORA_GUI_LIBRARIES} ${OMNORA_WINDOW_LAYERS})
omnora_refuse_links(omnora_platform omnora_core omnora_framework omnora_widgets omnora_admin omnora_main)
omnora_refuse_links(omnora_framework omnora_core omnora_widgets omnora_admin omnora_main)
omnora_refuse_links(omnora_widgets omnora_admin omnora_main)
omnora_refuse_links(omnora_admin omnora_main)
# No window folder sees the include path of one above it: admin/ reaches the
# main and reading windows only through admin/MainWindowLink.h, which main/ fills.
omnora_refuse_include_dirs(omnora_widgets ${PROJECT_SOURCE_DIR}/client/admin)
omnora_refuse_include_dirs(omnora_widgets ${PROJECT_SOURCE_DIR}/client/main)
omnora_refuse_include_dirs(omnora_admin ${PROJECT_SOURCE_DIR}/client/main)

# Every object of the core, linked without the GUI libraries (see the folder).
add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/layercheck ${CMAKE_BINARY_DIR}/layercheck)

# No two files of the core include each other, checked whenever one changes.
file(GLOB OMNORA_CORE_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/client/core/*.h ${PROJECT_SOURCE_DIR}/client/core/*.cpp)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/layercheck/core-include-loops.stamp
  COMMAND ${CMAKE_COMMAND} -DFOLDER=${PROJECT_SOURCE_DIR}/client/core
          -DSTAMP=${CMAKE_BINARY_DIR}/layercheck/core-include-loops.stamp
          -P ${CMAKE_CURRENT_LIST_DIR}/IncludeLoops.cmake
  DEPENDS ${OMNORA_CORE_FILES} ${CMAKE_CURRENT_LIST_DIR}/IncludeLoops.cmake
  COMMENT "Checking the core for include loops")
add_custom_target(omnora_core_include_loops ALL DEPENDS ${CMAKE_BINARY_DIR}/layercheck/core-include-loops.stamp)

# Headers are included by name, so the include paths above say what each
# folder sees: checked now and whenever a source changes.
function(omnora_check_include_paths)
  set(ROOT ${PROJECT_SOURCE_DIR})
  include(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/IncludePaths.cmake)
endfunction()
omnora_check_include_paths()
file(GLOB_RECURSE OMNORA_SOURCE_FILES CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/client/*.h ${PROJECT_SOURCE_DIR}/client/*.cpp
  ${PROJECT_SOURCE_DIR}/engine/*.h ${PROJECT_SOURCE_DIR}/engine/*.cpp
  ${PROJECT_SOURCE_DIR}/common/*.h ${PROJECT_SOURCE_DIR}/common/*.cpp)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/layercheck/include-paths.stamp
  COMMAND ${CMAKE_COMMAND} -DROOT=${PROJECT_SOURCE_DIR}
          -DSTAMP=${CMAKE_BINARY_DIR}/layercheck/include-paths.stamp
          -P ${CMAKE_CURRENT_LIST_DIR}/IncludePaths.cmake
  DEPENDS ${OMNORA_SOURCE_FILES} ${CMAKE_CURRENT_LIST_DIR}/IncludePaths.cmake
  COMMENT "Checking that headers are included by name")
add_custom_target(omnora_include_paths ALL DEPENDS ${CMAKE_BINARY_DIR}/layercheck/include-paths.stamp)
