# The packer's PE reader and resource lookup over arbitrary bytes, and the writer over what they accept.
lomar_add_fuzzer(pe_reader_fuzzer
  SOURCES pe_reader_fuzzer.cpp
  LIBS pack_pe
  SEEDS ${CMAKE_CURRENT_SOURCE_DIR}/pe-seeds)

# Rewrites the seed corpus (see README.md).
add_executable(pe_seed_writer pe_seed_writer.cpp)
target_link_libraries(pe_seed_writer PRIVATE pack_pe)
