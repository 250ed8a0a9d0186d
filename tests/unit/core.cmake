# Path text, strict UTF-8 decoding, the portable case mappings, and the portable SHA-256.
lomar_add_unit_test(core_test SOURCES core_path_text_test.cpp core_sha256_test.cpp core_unicode_test.cpp LIBS core)

# The digest of whole files by each engine, for the tests that compare it with Python's hashlib.
add_executable(lomar-sha256-files sha256_files.cpp)
target_link_libraries(lomar-sha256-files PRIVATE core)
