# Strict UTF-8 decoding and the portable lower-casing of names.
lomar_add_unit_test(core_test SOURCES core_unicode_test.cpp LIBS core)
