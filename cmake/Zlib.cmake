# zlib for movie compression, as one target both the movie writer and the
# stand-in runtime link: statically in the Windows build, so no zlib DLL travels along.
include_guard(GLOBAL)
add_library(leafbook_zlib INTERFACE IMPORTED GLOBAL)
if(WIN32)
  find_library(LEAFBOOK_ZLIB_STATIC NAMES libz.a REQUIRED)
  target_link_libraries(leafbook_zlib INTERFACE ${LEAFBOOK_ZLIB_STATIC})
else()
  find_package(ZLIB REQUIRED)
  target_link_libraries(leafbook_zlib INTERFACE ${ZLIB_LIBRARIES})
  target_include_directories(leafbook_zlib INTERFACE ${ZLIB_INCLUDE_DIRS})
endif()
