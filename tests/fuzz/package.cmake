# LoadPackage over arbitrary bytes.
lomar_add_fuzzer(package_loader_fuzzer
  SOURCES package_loader_fuzzer.cpp
  LIBS package_core
  SEEDS ${CMAKE_CURRENT_SOURCE_DIR}/package-seeds)

# Rewrites the seed corpus with the package writer (see README.md).
add_executable(package_seed_writer package_seed_writer.cpp)
target_link_libraries(package_seed_writer PRIVATE package_core)
