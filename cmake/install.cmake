# Install rules and the Debian package.
#
#   cmake --install build --prefix /usr/local   puts bin/relmerge and share/man/man1/relmerge.1
#   cpack -G DEB   (in the build folder)         makes relmerge_<version>_<arch>.deb

include(GNUInstallDirs)

install(TARGETS relmerge RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/relmerge.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_PACKAGE_NAME relmerge)
set(CPACK_PACKAGE_VENDOR "relmerge maintainers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "join the relations of a text script")
set(CPACK_PACKAGE_DESCRIPTION
    "relmerge reads a text script that defines relations (named tables of typed\n\
attributes and rows of values) and a join request, and writes the script\n\
followed by the joined relation to an output file. Relations that share\n\
attributes are combined by their natural join, relations that share none by\n\
their Cartesian product.")
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME relmerge)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "relmerge maintainers")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Exact dependencies come from the binary when dpkg-shlibdeps (package dpkg-dev) is there;
# otherwise the libraries every g++ build links against.
find_program(RELMERGE_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(RELMERGE_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6")
endif()

include(CPack)
