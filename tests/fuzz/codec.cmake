# The codec's fuzz targets: the decoder over arbitrary bytes, and encode-then-decode over arbitrary content.
lomar_add_fuzzer(codec_decoder_fuzzer SOURCES codec_decoder_fuzzer.cpp LIBS codec
                 SEEDS ${CMAKE_CURRENT_SOURCE_DIR}/codec-seeds/decoder)
lomar_add_fuzzer(codec_round_trip_fuzzer SOURCES codec_round_trip_fuzzer.cpp LIBS codec
                 SEEDS ${CMAKE_CURRENT_SOURCE_DIR}/codec-seeds/round_trip)
