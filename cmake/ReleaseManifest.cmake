# Reads a release manifest (firmware/<release>.manifest) and gives the build its facts:
#   LUMIVANE_RELEASE           the release's name, the manifest's file name without extension
#   LUMIVANE_FIRMWARE_VERSION  the version the tool announces, "1.0.8"
#   LUMIVANE_IMAGE_FILES       the image file names in catalogue order
# and writes <output dir>/ReleaseManifest.h, from which compiled code takes the same facts.
function(lumivane_read_manifest manifest output_dir)
  if(NOT EXISTS ${manifest})
    message(FATAL_ERROR "FIRMWARE_MANIFEST=${manifest}: no such manifest")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${manifest})
  get_filename_component(release ${manifest} NAME_WE)
  file(STRINGS ${manifest} lines)
  set(version "")
  set(files "")
  set(entries "")
  set(line_number 0)
  foreach(line IN LISTS lines)
    math(EXPR line_number "${line_number} + 1")
    if(line MATCHES "^[ \t]*(#|$)")
      continue()
    elseif(line MATCHES "^version[ \t]+([0-9]+\\.[0-9]+\\.[0-9]+)[ \t]*$")
      set(version ${CMAKE_MATCH_1})
    elseif(line MATCHES "^entry[ \t]+([A-Za-z0-9_.-]+)[ \t]+([0-9]+)[ \t]+([0-9]+)[ \t]+([0-9]+)[ \t]+([0-9]+)[ \t]*$")
      list(APPEND files ${CMAKE_MATCH_1})
      string(APPEND entries "    {\"${CMAKE_MATCH_1}\", ${CMAKE_MATCH_2}, ${CMAKE_MATCH_3}, ${CMAKE_MATCH_4}, ${CMAKE_MATCH_5}u},\n")
    else()
      message(FATAL_ERROR "${manifest}:${line_number}: expected 'version X.Y.Z' or "
                          "'entry <file> <text> <lines> <flat> <checksum>', found: ${line}")
    endif()
  endforeach()
  list(LENGTH files count)
  if(version STREQUAL "" OR NOT count EQUAL 5)
    message(FATAL_ERROR "${manifest}: a manifest names a version and five entries (found ${count})")
  endif()
  file(CONFIGURE OUTPUT ${output_dir}/ReleaseManifest.h CONTENT [[
// Generated from @release@.manifest by the build: do not edit.
#pragma once

#define RELEASE_NAME "@release@"
#define RELEASE_FIRMWARE_VERSION "@version@"

// One image file of the release and the figures it must reproduce.
struct ReleaseEntry {
    const char *file;
    int textLength;     // characters
    int lines;          // line feeds
    int flatLength;     // of the flat image the tool builds from it
    unsigned checksum;  // of that flat image
};

inline constexpr ReleaseEntry RELEASE_ENTRIES[] = {
@entries@};
]] @ONLY)
  set(LUMIVANE_RELEASE ${release} PARENT_SCOPE)
  set(LUMIVANE_FIRMWARE_VERSION ${version} PARENT_SCOPE)
  set(LUMIVANE_IMAGE_FILES ${files} PARENT_SCOPE)
endfunction()
