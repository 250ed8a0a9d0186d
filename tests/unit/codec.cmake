# XPRESS-Huffman codec: format vectors, round trips and corrupt streams, natively and under Wine.
lomar_add_unit_test(codec_test
  SOURCES codec_format_test.cpp codec_roundtrip_test.cpp codec_corrupt_test.cpp codec_encoder_test.cpp
  LIBS codec)

# The peer codec cross-check needs wimlib, which only the native build has.
if(NOT WIN32)
  # Debian's wimlib.pc names libntfs-3g and fuse, which are not installed; the library and header suffice.
  find_library(LOMAR_WIMLIB_LIBRARY NAMES wim)
  find_path(LOMAR_WIMLIB_INCLUDE wimlib.h)
  if(LOMAR_WIMLIB_LIBRARY AND LOMAR_WIMLIB_INCLUDE)
    lomar_add_unit_test(codec_wimlib_test SOURCES codec_wimlib_test.cpp LIBS codec ${LOMAR_WIMLIB_LIBRARY})
    target_include_directories(codec_wimlib_test PRIVATE ${LOMAR_WIMLIB_INCLUDE})
  else()
    message(STATUS "wimlib not found: the codec's cross-check with it is not built")
  endif()
endif()
