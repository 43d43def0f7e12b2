# Run at the end of `cmake --install` (ORQ_INSTALL_LIBDIR set before it).
# A host fails to start ("liborq.so.1: cannot open shared object file") when
# the loader's cache predates the library, even in a directory the loader
# searches through that cache (/usr/local/lib on Debian): a direct install
# into such a prefix renews the cache, as the Debian package's postinst does.
# A staged install (DESTDIR; CPack stages that way) is left alone, and so is
# a prefix the loader does not search: there the install says what makes a
# host find the library.
set(orq_libdir "${CMAKE_INSTALL_PREFIX}/${ORQ_INSTALL_LIBDIR}")
find_program(ORQ_LDCONFIG ldconfig PATHS /sbin /usr/sbin)
if("$ENV{DESTDIR}" STREQUAL "" AND ORQ_LDCONFIG)
  # `ldconfig -v -N -X` lists the directories it would scan ("DIR: (from ...)")
  # and changes nothing; compared by real path (/lib is /usr/lib).
  execute_process(COMMAND ${ORQ_LDCONFIG} -v -N -X OUTPUT_VARIABLE orq_listing ERROR_QUIET)
  string(REGEX MATCHALL "(^|\n)/[^:\n]*:" orq_listing "${orq_listing}")
  get_filename_component(orq_libdir_real "${orq_libdir}" REALPATH)
  set(orq_searched FALSE)
  foreach(dir IN LISTS orq_listing)
    string(REGEX REPLACE "^\n?(.*):$" "\\1" dir "${dir}")
    get_filename_component(dir "${dir}" REALPATH)
    if(dir STREQUAL orq_libdir_real)
      set(orq_searched TRUE)
    endif()
  endforeach()
  if(orq_searched)
    execute_process(COMMAND ${ORQ_LDCONFIG} RESULT_VARIABLE orq_failed ERROR_QUIET)
    if(orq_failed)
      message(WARNING "ldconfig failed: run it as root, or hosts will not find liborq.so.1 in ${orq_libdir}")
    else()
      message(STATUS "ldconfig: hosts find liborq.so.1 in ${orq_libdir}")
    endif()
  else()
    message(STATUS "The loader does not search ${orq_libdir}: a host finds liborq.so.1 there with "
      "LD_LIBRARY_PATH=${orq_libdir}, or when linked with -Wl,-rpath,${orq_libdir}")
  endif()
endif()
