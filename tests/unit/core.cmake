# Path text, strict UTF-8 decoding, the portable case mappings, and the portable SHA-256.
lomar_add_unit_test(core_test SOURCES core_path_text_test.cpp core_sha256_test.cpp core_unicode_test.cpp LIBS core)
