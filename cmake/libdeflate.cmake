# libdeflate: whole-buffer deflate decompression and CRC-32 for the unzip engine.
# Natively Debian's libdeflate-dev; for Windows a static library compiled here from Debian's
# source package, which tools/install-deps unpacks (Debian has no MinGW build of it).
# Only the decompressor, the checksums and the CPU feature probe are built.
if(WIN32)
  set(VELLUMO_DEPS_CACHE "$ENV{VELLUMO_DEPS_CACHE}")
  if(NOT VELLUMO_DEPS_CACHE)
    set(VELLUMO_DEPS_CACHE /var/cache/vellumo-deps)
  endif()
  file(GLOB libdeflate_dirs LIST_DIRECTORIES true ${VELLUMO_DEPS_CACHE}/libdeflate/libdeflate-*)
  list(SORT libdeflate_dirs)
  list(POP_BACK libdeflate_dirs libdeflate_dir)
  set(VELLUMO_LIBDEFLATE_SOURCE "${libdeflate_dir}" CACHE PATH "Unpacked libdeflate source package")
  if(NOT EXISTS "${VELLUMO_LIBDEFLATE_SOURCE}/lib/deflate_decompress.c")
    message(FATAL_ERROR "libdeflate sources not found under ${VELLUMO_DEPS_CACHE}/libdeflate; run tools/install-deps")
  endif()
  set(src ${VELLUMO_LIBDEFLATE_SOURCE}/lib)
  add_library(vellumo_libdeflate STATIC
    ${src}/deflate_decompress.c ${src}/utils.c ${src}/crc32.c ${src}/adler32.c
    ${src}/x86/cpu_features.c)
  target_include_directories(vellumo_libdeflate SYSTEM PUBLIC ${VELLUMO_LIBDEFLATE_SOURCE})
  target_include_directories(vellumo_libdeflate PRIVATE ${VELLUMO_LIBDEFLATE_SOURCE}/lib)
  # The library's own build flags: its inner loops are tuned for -O2, not the -Os of the
  # programs around it.
  target_compile_options(vellumo_libdeflate PRIVATE -O2 -fomit-frame-pointer -std=c99 -w)
  target_compile_definitions(vellumo_libdeflate PRIVATE _ANSI_SOURCE)
else()
  find_path(VELLUMO_LIBDEFLATE_INCLUDE libdeflate.h REQUIRED)
  find_library(VELLUMO_LIBDEFLATE_LIBRARY NAMES deflate REQUIRED)
  add_library(vellumo_libdeflate INTERFACE)
  target_link_libraries(vellumo_libdeflate INTERFACE ${VELLUMO_LIBDEFLATE_LIBRARY})
  target_include_directories(vellumo_libdeflate INTERFACE ${VELLUMO_LIBDEFLATE_INCLUDE})
endif()
