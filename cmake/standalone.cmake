# What a folder built on its own (cmake -S core, cmake -S platform, the
# Windows builds) sets up that the whole project otherwise sets once: the
# language level, the build type, the warnings, and CTest.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
if(NOT CMAKE_BUILD_TYPE)
  set(CMAKE_BUILD_TYPE RelWithDebInfo)
endif()
add_compile_options(-Wall -Wextra)
include(CTest)
include(${CMAKE_CURRENT_LIST_DIR}/layers.cmake)
