# The portable name decoding and lower-casing held against Windows' own calls.
lomar_add_unit_test(core_platform_test SOURCES core_lower_case_test.cpp core_utf8_test.cpp LIBS core)
