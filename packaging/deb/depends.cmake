# Run by CPack once the package's files are in its staging folder, before
# the package is made: works out the libraries the binaries need with
# dpkg-shlibdeps and makes them the package's Depends.
#
# CPack's own dpkg-shlibdeps switch would do the same, but also adds a
# postinst and a postrm that run ldconfig whenever a shared object lies
# anywhere under /usr/lib, even in a private folder such as
# /usr/lib/norvi-replay that ldconfig never reads: needless scripts, and a
# removed package that dpkg keeps listed until it is purged.
set(stage ${CPACK_TEMPORARY_DIRECTORY})
file(GLOB binaries RELATIVE ${stage} ${stage}/usr/bin/* ${stage}/usr/lib/norvi-replay/*.so)
# What dpkg-shlibdeps looks for in a package's build tree: an (empty)
# control file, and a DEBIAN folder that marks the tree's root, so that the
# stand-in host, found in the private folder, counts as the package's own.
file(WRITE ${stage}/debian/control "")
file(MAKE_DIRECTORY ${stage}/DEBIAN)
execute_process(COMMAND dpkg-shlibdeps -lusr/lib/norvi-replay -O ${binaries}
                WORKING_DIRECTORY ${stage}
                OUTPUT_VARIABLE found
                ERROR_VARIABLE complaints
                RESULT_VARIABLE status
                OUTPUT_STRIP_TRAILING_WHITESPACE)
file(REMOVE_RECURSE ${stage}/debian ${stage}/DEBIAN)
if(NOT status EQUAL 0 OR NOT found MATCHES "^shlibs:Depends=")
  message(FATAL_ERROR "dpkg-shlibdeps failed on ${binaries}: ${complaints}")
endif()
string(REGEX REPLACE "^shlibs:Depends=" "" CPACK_DEBIAN_PACKAGE_DEPENDS "${found}")
message(STATUS "Depends: ${CPACK_DEBIAN_PACKAGE_DEPENDS}")
