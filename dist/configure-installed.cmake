# Run by `cmake --install` before the files it makes are installed: fills in the files that
# name installed paths with the prefix of this very installation, so `--prefix`, `make install
# PREFIX=...` and CPack's /usr each get their own, and gzips the man pages.
# Given by CMakeLists.txt: EKRANIK_SOURCE, EKRANIK_OUTPUT, EKRANIK_BINDIR, EKRANIK_DATADIR,
# EKRANIK_UNITDIR (relative to the prefix), PROJECT_VERSION and GZIP.
foreach(dir BINDIR DATADIR UNITDIR)
  set(EKRANIK_${dir} "${CMAKE_INSTALL_PREFIX}/${EKRANIK_${dir}}")
endforeach()
foreach(name ekranik.1 ekranik-portal.1 ekranik-portal.service portal.env)
  configure_file("${EKRANIK_SOURCE}/${name}.in" "${EKRANIK_OUTPUT}/${name}" @ONLY)
endforeach()
foreach(page ekranik.1 ekranik-portal.1)
  # -n: no name or time stamp in the header, the same bytes every time.
  execute_process(COMMAND "${GZIP}" -9n -c "${EKRANIK_OUTPUT}/${page}"
                  OUTPUT_FILE "${EKRANIK_OUTPUT}/${page}.gz" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${page}: ${status}")
  endif()
endforeach()
