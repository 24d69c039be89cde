# The program's sources and the libraries they need, in one place for the
# program's own build and the fuzzers' (fuzz/CMakeLists.txt), so that a new
# folder or a new optional library is added once.
#
# Sources are picked up by folder; files named *_posix.cpp or *_win32.cpp are
# the platform halves of a pair and only the one for the target is built. A
# kind of store whose library is missing is built from its *_unavailable.cpp
# twin alone, whose Open...Store makes every such entry a failing store that
# says why.
if(WIN32)
  set(PLATFORM_SUFFIX win32)
  set(OTHER_PLATFORM_SUFFIX posix)
else()
  set(PLATFORM_SUFFIX posix)
  set(OTHER_PLATFORM_SUFFIX win32)
endif()

# Outlook data files are read with libpff, Thunderbird and Evolution address
# books with SQLite, CardDAV address books with libcurl (HTTP, TLS), expat
# (the multistatus bodies, read as they arrive) and libpsl (the Public Suffix
# List, which says which sibling hosts of the configured one may have the
# login), where they are available. CardDAV needs all three: no build sends
# a login to another host without the list to judge it by.
# The Windows cross build looks for them only where CMAKE_PREFIX_PATH points
# (.ci/windows-deps.sh builds them there), never among the host's own.
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND AND (NOT WIN32 OR CMAKE_PREFIX_PATH))
  pkg_check_modules(LIBPFF IMPORTED_TARGET libpff)
  pkg_check_modules(SQLITE3 IMPORTED_TARGET sqlite3)
  pkg_check_modules(LIBCURL IMPORTED_TARGET libcurl)
  pkg_check_modules(EXPAT IMPORTED_TARGET expat)
  pkg_check_modules(LIBPSL IMPORTED_TARGET libpsl)
endif()
set(CARDDAV_FOUND OFF)
if(LIBCURL_FOUND AND EXPAT_FOUND AND LIBPSL_FOUND)
  set(CARDDAV_FOUND ON)
endif()

# Keeps, in `result`, the sources that need a library when `found`, else
# its twin.
macro(contact_export_choose found needing twin)
  if(${found})
    list(FILTER result EXCLUDE REGEX "${twin}")
  else()
    list(FILTER result EXCLUDE REGEX "${needing}")
  endif()
endmacro()

# The sources of the core library under `root`/src, into `out`.
function(contact_export_core_sources out root)
  set(result)
  foreach(dir app export om store store/cards store/pst store/sqlite store/carddav vcard text csv)
    file(GLOB files CONFIGURE_DEPENDS "${root}/src/${dir}/*.cpp")
    list(APPEND result ${files})
  endforeach()
  list(FILTER result EXCLUDE REGEX "_${OTHER_PLATFORM_SUFFIX}\\.cpp$")
  list(FILTER result EXCLUDE REGEX "/(check_)?main_[a-z0-9]+\\.cpp$")
  # Each optional kind of store: whether its library was found, the sources
  # that need it, and the twin built in their place without it.
  contact_export_choose(LIBPFF_FOUND "/store/pst/pst_(file|store|open_[a-z0-9]+)\\.cpp$" "/pst_store_unavailable\\.cpp$")
  contact_export_choose(SQLITE3_FOUND
    "/store/sqlite/(sqlite_db|sqlite_book|thunderbird_book|evolution_book|sqlite_store|application_books)\\.cpp$"
    "/sqlite_store_unavailable\\.cpp$")
  contact_export_choose(CARDDAV_FOUND "/store/carddav/carddav_(http|xml|url|origin|store_file|connection|discovery|book|store)\\.cpp$"
    "/carddav_store_unavailable\\.cpp$")
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# Links `target` with the optional libraries that were found. On Windows
# they are static, the .exe one file: each library's private dependencies
# (curl's Schannel and sockets, libpsl's sockets) and its static-build
# definitions come from `pkg-config --static`.
function(contact_export_link_optional target)
  if(WIN32)
    foreach(lib LIBPFF SQLITE3 LIBCURL EXPAT LIBPSL)
      if(${lib}_FOUND AND (CARDDAV_FOUND OR NOT lib MATCHES "^(LIBCURL|EXPAT|LIBPSL)$"))
        target_compile_options(${target} PUBLIC ${${lib}_STATIC_CFLAGS})
        target_link_libraries(${target} PUBLIC ${${lib}_STATIC_LDFLAGS})
      endif()
    endforeach()
    return()
  endif()
  if(LIBPFF_FOUND)
    target_link_libraries(${target} PUBLIC PkgConfig::LIBPFF)
  endif()
  if(SQLITE3_FOUND)
    target_link_libraries(${target} PUBLIC PkgConfig::SQLITE3)
  endif()
  if(CARDDAV_FOUND)
    target_link_libraries(${target} PUBLIC PkgConfig::LIBCURL PkgConfig::EXPAT PkgConfig::LIBPSL)
  endif()
endfunction()
