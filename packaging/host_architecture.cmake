# Read by CPack before it packs. dpkg-shlibdeps, which works out the
# package's dependencies, looks for the libraries in the multiarch folders
# of DEB_HOST_ARCH (this machine's unless told) besides those ld.so.conf
# lists: a cross-built package names its own architecture, so that its
# dependencies come from that architecture's libraries.
if(CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
  set(ENV{DEB_HOST_ARCH} ${CPACK_DEBIAN_PACKAGE_ARCHITECTURE})
endif()
