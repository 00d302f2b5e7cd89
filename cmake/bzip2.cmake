# bzip2: the unzip engine's decoder for method 12. Natively Debian's libbz2-dev; for Windows
# a static library compiled here from Debian's bzip2 source package, which
# tools/install-deps unpacks (Debian has no MinGW build of it). Only the decompressor's
# files: the compressor's two (about 23 KB in the DLL) are left out, and the two functions
# the library's unused compression entry points name are supplied by the engine.
if(WIN32)
  set(VELLUMO_DEPS_CACHE "$ENV{VELLUMO_DEPS_CACHE}")
  if(NOT VELLUMO_DEPS_CACHE)
    set(VELLUMO_DEPS_CACHE /var/cache/vellumo-deps)
  endif()
  file(GLOB bzip2_dirs LIST_DIRECTORIES true ${VELLUMO_DEPS_CACHE}/bzip2/bzip2-*)
  list(FILTER bzip2_dirs EXCLUDE REGEX "\\.(gz|bz2|xz|dsc)$")
  list(SORT bzip2_dirs)
  list(POP_BACK bzip2_dirs bzip2_dir)
  set(VELLUMO_BZIP2_SOURCE "${bzip2_dir}" CACHE PATH "Unpacked bzip2 source package")
  if(NOT EXISTS "${VELLUMO_BZIP2_SOURCE}/decompress.c")
    message(FATAL_ERROR "bzip2 sources not found under ${VELLUMO_DEPS_CACHE}/bzip2; run tools/install-deps")
  endif()
  set(src ${VELLUMO_BZIP2_SOURCE})
  add_library(vellumo_bzip2 STATIC
    ${src}/bzlib.c ${src}/decompress.c ${src}/huffman.c ${src}/crctable.c ${src}/randtable.c)
  target_include_directories(vellumo_bzip2 SYSTEM PUBLIC ${VELLUMO_BZIP2_SOURCE})
  # No stdio part: the engine hands the library memory only.
  target_compile_definitions(vellumo_bzip2 PUBLIC BZ_NO_STDIO VELLUMO_BZIP2_DECODER_ONLY)
  target_compile_options(vellumo_bzip2 PRIVATE -O2 -w)
else()
  find_path(VELLUMO_BZIP2_INCLUDE bzlib.h REQUIRED)
  find_library(VELLUMO_BZIP2_LIBRARY NAMES bz2 REQUIRED)
  add_library(vellumo_bzip2 INTERFACE)
  target_link_libraries(vellumo_bzip2 INTERFACE ${VELLUMO_BZIP2_LIBRARY})
  target_include_directories(vellumo_bzip2 INTERFACE ${VELLUMO_BZIP2_INCLUDE})
endif()
