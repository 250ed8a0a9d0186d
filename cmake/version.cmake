# The project's version, said by the tools and written into the launcher stub's version resource, comes from
# project() alone: a header in the build tree, seen only by the targets that link project_version.
foreach(part MAJOR MINOR PATCH TWEAK)
  set(LOMAR_VERSION_${part} "${PROJECT_VERSION_${part}}")
  if(LOMAR_VERSION_${part} STREQUAL "")
    set(LOMAR_VERSION_${part} 0)
  endif()
endforeach()
set(LOMAR_VERSION_HEADER ${PROJECT_BINARY_DIR}/generated/lomar/version.h)
# Rewritten only when the version changes, so that only then do its users rebuild.
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in ${LOMAR_VERSION_HEADER} @ONLY)

add_library(project_version INTERFACE)
target_include_directories(project_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
