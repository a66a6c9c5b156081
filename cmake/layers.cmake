# Each library exports only its own folder. Sources name headers from the
# repository's root ("core/gbk.h"), so a library's include root is a folder
# of the build tree holding one link, named after the library's folder, to
# that folder: build/include/core/core -> core/. A target that includes a
# layer it does not link ("qt/qt_text.h" from cli/) then fails to compile.
include_guard(GLOBAL)

# vxt_export_folder(<target> [<folder>]): <target> exports <folder> (relative
# to the repository's root; by default the folder of the calling
# CMakeLists.txt) to whatever links it, and uses it itself.
function(vxt_export_folder target)
  get_filename_component(VXT_SOURCE_ROOT ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/.. ABSOLUTE)
  if(ARGC GREATER 1)
    set(folder ${ARGV1})
  else()
    file(RELATIVE_PATH folder ${VXT_SOURCE_ROOT} ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  string(REPLACE "/" "_" key ${folder})
  set(include_root ${CMAKE_BINARY_DIR}/include/${key})
  get_filename_component(parent ${include_root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${VXT_SOURCE_ROOT}/${folder} ${include_root}/${folder} SYMBOLIC)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${include_root})
  elseif(type STREQUAL "EXECUTABLE")
    target_include_directories(${target} PRIVATE ${include_root})
  else()
    target_include_directories(${target} PUBLIC ${include_root})
  endif()
endfunction()

# vxt_export_header(<target> <header>): <target> exports that one header
# (relative to the repository's root) and nothing else of its folder.
function(vxt_export_header target header)
  get_filename_component(VXT_SOURCE_ROOT ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/.. ABSOLUTE)
  string(REPLACE "/" "_" key ${header})
  set(include_root ${CMAKE_BINARY_DIR}/include/${key})
  get_filename_component(parent ${include_root}/${header} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${VXT_SOURCE_ROOT}/${header} ${include_root}/${header} SYMBOLIC)
  target_include_directories(${target} INTERFACE ${include_root})
endfunction()
