# Third-party libraries, found the same way for the host and the armhf cross
# build. Each becomes an imported target crv::<name>.
find_package(Threads REQUIRED)

# A static build (the armhf toolchain) takes archives only.
if(CRV_STATIC_LINK)
  set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
endif()

function(crv_find_lib target header libname)
  cmake_parse_arguments(A "" "" "HINTS;PATH_SUFFIXES;DEPS" ${ARGN})
  string(TOUPPER ${target} up)
  # A shared library found by an earlier configuration of a static build
  # is looked for again.
  if(CRV_STATIC_LINK AND CRV_${up}_LIBRARY AND NOT CRV_${up}_LIBRARY MATCHES "\\.a$")
    unset(CRV_${up}_LIBRARY CACHE)
  endif()
  find_path(CRV_${up}_INCLUDE ${header} HINTS ${A_HINTS} PATH_SUFFIXES ${A_PATH_SUFFIXES})
  find_library(CRV_${up}_LIBRARY NAMES ${libname} HINTS ${A_HINTS} PATH_SUFFIXES ${A_PATH_SUFFIXES})
  if(NOT CRV_${up}_INCLUDE OR NOT CRV_${up}_LIBRARY)
    message(FATAL_ERROR "missing ${target}: header ${header} (${CRV_${up}_INCLUDE}), library ${libname} (${CRV_${up}_LIBRARY}); run scripts/bootstrap")
  endif()
  add_library(crv::${target} UNKNOWN IMPORTED GLOBAL)
  set_target_properties(crv::${target} PROPERTIES
    IMPORTED_LOCATION ${CRV_${up}_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${CRV_${up}_INCLUDE})
  if(A_DEPS)
    set_property(TARGET crv::${target} PROPERTY INTERFACE_LINK_LIBRARIES ${A_DEPS})
  endif()
endfunction()

crv_find_lib(z zlib.h z)
crv_find_lib(png png.h png16 DEPS crv::z m)
crv_find_lib(fdt libfdt.h fdt HINTS ${CRV_ARMHF_SYSROOT}/usr)
crv_find_lib(uuid uuid/uuid.h uuid)
# libsparse's header sits under include/android, its library in the
# multiarch android/ folder; the armhf build takes the archive that
# scripts/bootstrap builds from Debian's source package.
set(sparse_hints)
if(CRV_ARMHF_LIBSPARSE)
  set(sparse_hints ${CRV_ARMHF_LIBSPARSE}/include ${CRV_ARMHF_LIBSPARSE}/lib)
endif()
crv_find_lib(sparse sparse/sparse.h sparse HINTS ${sparse_hints} PATH_SUFFIXES android DEPS crv::z)
