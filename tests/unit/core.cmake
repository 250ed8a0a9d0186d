# Strict UTF-8 decoding, the portable lower-casing of names, and the portable SHA-256.
lomar_add_unit_test(core_test SOURCES core_unicode_test.cpp core_sha256_test.cpp LIBS core)
