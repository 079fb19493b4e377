# What ships to operators from a Windows build: a version resource in each program, and
# `cmake --build --preset windows --target package`, a ZIP with the three programs, the operator's
# guide and SHA256SUMS. The programs are reproducible: the same sources and image set give
# byte-identical .exe files in any build folder (scripts/check-reproducible).
if(FIRMWARE_IMAGE_DIR)
  set(image_set "image set ${LUMIVANE_RELEASE}")
  set(LUMIVANE_GUIDE_STANDIN_NOTE "")
  set(package_suffix "")
else()
  set(image_set "stand-in image set for ${LUMIVANE_RELEASE}, simulated unit only")
  set(LUMIVANE_GUIDE_STANDIN_NOTE "\nTHIS IS A STAND-IN BUILD: its images are made for the simulated unit and it\nrefuses every real unit. Use it for training only.\n")
  set(package_suffix "-stand-in")
endif()

enable_language(RC)
string(REPLACE "." "," LUMIVANE_RC_VERSION_COMMAS ${LUMIVANE_FIRMWARE_VERSION})
set(shipped_programs LumivaneFwUpgrade LumivaneFwSite LumivaneFwWebPackage)
foreach(program ${shipped_programs})
  set(LUMIVANE_RC_PROGRAM ${program})
  if(program STREQUAL LumivaneFwUpgrade)
    set(LUMIVANE_RC_DESCRIPTION "Firmware update of a 6G-SDI extender unit, ${image_set}")
  elseif(program STREQUAL LumivaneFwSite)
    set(LUMIVANE_RC_DESCRIPTION "Firmware update of every 6G-SDI extender unit on COM1 to COM32, ${image_set}")
  else()
    set(LUMIVANE_RC_DESCRIPTION "Web upload package writer for a 6G-SDI extender unit, ${image_set}")
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/packaging/VersionInfo.rc.in ${CMAKE_BINARY_DIR}/packaging/${program}.rc @ONLY)
  target_sources(${program} PRIVATE ${CMAKE_BINARY_DIR}/packaging/${program}.rc)
  install(TARGETS ${program} RUNTIME DESTINATION .)
endforeach()

configure_file(${PROJECT_SOURCE_DIR}/packaging/OperatorGuide.txt.in ${CMAKE_BINARY_DIR}/packaging/OperatorGuide.txt
               @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/packaging/OperatorGuide.txt DESTINATION .)
# The shipped programs carry no debug information: the build folder's copies keep it, for crash
# reports. strip stamps the time into a PE header unless SOURCE_DATE_EPOCH names one, so the
# programs stay reproducible. Last, SHA256SUMS over the files installed, in the form
# `sha256sum -c` reads.
install(CODE "set(LUMIVANE_STRIP \"${CMAKE_STRIP}\")\nset(LUMIVANE_SHIPPED \"${shipped_programs}\")")
install(CODE [[
  set(dir "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
  set(sums "")
  foreach(program ${LUMIVANE_SHIPPED})
    execute_process(COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0 ${LUMIVANE_STRIP} "${dir}/${program}.exe"
                    RESULT_VARIABLE stripped)
    if(NOT stripped EQUAL 0)
      message(FATAL_ERROR "strip failed on ${program}")
    endif()
    file(SHA256 "${dir}/${program}.exe" sum)
    string(APPEND sums "${sum}  ${program}.exe\n")
  endforeach()
  file(SHA256 "${dir}/OperatorGuide.txt" sum)
  file(WRITE "${dir}/SHA256SUMS" "${sums}${sum}  OperatorGuide.txt\n")
]])

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME LumivaneFwUpgrade)
set(CPACK_PACKAGE_VERSION ${LUMIVANE_FIRMWARE_VERSION})
set(CPACK_PACKAGE_FILE_NAME LumivaneFwUpgrade-${LUMIVANE_FIRMWARE_VERSION}-${LUMIVANE_RELEASE}${package_suffix}-win64)
include(CPack)
