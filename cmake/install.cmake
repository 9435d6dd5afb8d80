# Install rules and the Debian package.
#
#   cmake --install build --prefix /usr/local   puts bin/relmerge, bin/relmerge-check, their
#                                               man pages in share/man/man1 and the license in
#                                               share/doc/relmerge/copyright
#   cpack -G DEB   (in the build folder)         makes relmerge_<version>_<arch>.deb

include(GNUInstallDirs)

install(TARGETS relmerge relmerge-check RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Man pages go out compressed, as Debian installs them; man reads them so from any prefix.
find_program(RELMERGE_GZIP gzip REQUIRED)
set(RELMERGE_MAN_PAGES)
foreach(page relmerge.1 relmerge-check.1)
  set(compressed ${PROJECT_BINARY_DIR}/man/${page}.gz)
  add_custom_command(
    OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/${page} ${PROJECT_BINARY_DIR}/man/${page}
    # -n leaves the name and time out, so that the same page compresses to the same bytes.
    COMMAND ${RELMERGE_GZIP} -9 -n -f ${PROJECT_BINARY_DIR}/man/${page}
    DEPENDS ${PROJECT_SOURCE_DIR}/${page}
    VERBATIM)
  list(APPEND RELMERGE_MAN_PAGES ${compressed})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${RELMERGE_MAN_PAGES})
install(FILES ${RELMERGE_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)

set(CPACK_PACKAGE_NAME relmerge)
set(CPACK_PACKAGE_VENDOR "relmerge maintainers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "join the relations of a text script")
set(CPACK_PACKAGE_DESCRIPTION
    "relmerge reads a text script that defines relations (named tables of typed\n\
attributes and rows of values) and a join request, and writes the script\n\
followed by the joined relation to an output file. Relations that share\n\
attributes are combined by their natural join, relations that share none by\n\
their Cartesian product. relmerge-check tells how a script is read, finds the\n\
lines that are likely not read as they were meant, and counts the rows of the\n\
result.")
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME relmerge)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "relmerge maintainers")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
find_program(RELMERGE_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(RELMERGE_LINKED_STATICALLY)
  # Static programs load no library: the package depends on nothing.
elseif(RELMERGE_DPKG_SHLIBDEPS)
  # The dependencies of a shared build come from its binaries when dpkg-shlibdeps (package
  # dpkg-dev) is there, otherwise they are the libraries every g++ build links against.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6")
endif()

include(CPack)
