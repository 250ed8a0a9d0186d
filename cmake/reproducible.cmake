# One commit builds the same bytes wherever and whenever it is built: every packed game carries the stub,
# so two machines packing the same game with the same release must write the same executable.
if(NOT MSVC)
  # Where the sources and the build stand stays out of the programs (__FILE__, debug information). The
  # build folder's mapping comes last, so that it wins for a build folder inside the sources.
  add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.>
                      $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_BINARY_DIR}=build>)
endif()

if(WIN32 AND NOT MSVC)
  # The linker would write the time of the link into the PE header. Its TimeDateStamp is 0 instead, not
  # SOURCE_DATE_EPOCH: that keeps the stub's bytes a function of the sources alone, so that a distributor who
  # builds a release tag gets the stub everyone else gets without agreeing on a date, and Windows reads the
  # field only for bound imports, which no program here has.
  add_link_options(-Wl,--no-insert-timestamp)
endif()
