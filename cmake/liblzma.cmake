# liblzma: the unzip engine's decoder for method 14 (raw LZMA1). Natively Debian's
# liblzma-dev; for Windows a static library compiled here from Debian's xz-utils source
# package (tools/install-deps unpacks it), built with the LZMA1 decoder alone: no .xz
# container, no other filters, no encoder, no threads.
if(WIN32)
  set(VELLUMO_DEPS_CACHE "$ENV{VELLUMO_DEPS_CACHE}")
  if(NOT VELLUMO_DEPS_CACHE)
    set(VELLUMO_DEPS_CACHE /var/cache/vellumo-deps)
  endif()
  file(GLOB xz_dirs LIST_DIRECTORIES true ${VELLUMO_DEPS_CACHE}/xz-utils/xz-utils-*)
  list(FILTER xz_dirs EXCLUDE REGEX "\\.(gz|bz2|xz|dsc)$")
  list(SORT xz_dirs)
  list(POP_BACK xz_dirs xz_dir)
  set(VELLUMO_XZ_SOURCE "${xz_dir}" CACHE PATH "Unpacked xz-utils source package")
  set(src ${VELLUMO_XZ_SOURCE}/src/liblzma)
  if(NOT EXISTS "${src}/lzma/lzma_decoder.c")
    message(FATAL_ERROR "xz-utils sources not found under ${VELLUMO_DEPS_CACHE}/xz-utils; run tools/install-deps")
  endif()
  add_library(vellumo_liblzma STATIC
    ${src}/common/common.c ${src}/common/filter_common.c ${src}/common/filter_decoder.c
    ${src}/lz/lz_decoder.c ${src}/lzma/lzma_decoder.c)
  target_include_directories(vellumo_liblzma SYSTEM PUBLIC ${src}/api)
  target_include_directories(vellumo_liblzma PRIVATE
    ${src}/common ${src}/lz ${src}/lzma ${src}/rangecoder ${src}/check ${src}/delta ${src}/simple
    ${VELLUMO_XZ_SOURCE}/src/common)
  # What configure would have found for this target, and the one decoder.
  target_compile_definitions(vellumo_liblzma PRIVATE
    HAVE_DECODER_LZMA1 HAVE_STDBOOL_H HAVE__BOOL HAVE_STDINT_H HAVE_INTTYPES_H HAVE_LIMITS_H
    HAVE_STRING_H HAVE_MEMORY_H HAVE_VISIBILITY=0 SIZEOF_SIZE_T=4 ASSUME_RAM=128
    TUKLIB_SYMBOL_PREFIX=lzma_)
  target_compile_definitions(vellumo_liblzma PUBLIC LZMA_API_STATIC)
  target_compile_options(vellumo_liblzma PRIVATE -O2 -std=gnu99 -w)
else()
  find_path(VELLUMO_LZMA_INCLUDE lzma.h REQUIRED)
  find_library(VELLUMO_LZMA_LIBRARY NAMES lzma REQUIRED)
  add_library(vellumo_liblzma INTERFACE)
  target_link_libraries(vellumo_liblzma INTERFACE ${VELLUMO_LZMA_LIBRARY})
  target_include_directories(vellumo_liblzma INTERFACE ${VELLUMO_LZMA_INCLUDE})
endif()
