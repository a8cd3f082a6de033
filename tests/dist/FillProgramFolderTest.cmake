# SPDX-License-Identifier: GPL-3.0-or-later
# A build lays out build/bin from dist/; a file the user edited there, or put
# there instead, must survive the next build, and a removed one comes back.
#
#   cmake -DSOURCE=<source tree> -DWORK=<scratch folder> -P FillProgramFolderTest.cmake

set(folder "${WORK}/program")
file(REMOVE_RECURSE "${folder}")
set(fill ${CMAKE_COMMAND} -DDIST=${SOURCE}/dist -DFOLDER=${folder} -P ${SOURCE}/cmake/FillProgramFolder.cmake)

function(expect_same relative expected)
  file(READ "${folder}/${relative}" got)
  if(NOT got STREQUAL expected)
    message(FATAL_ERROR "${relative} holds '${got}', expected '${expected}'")
  endif()
endfunction()

execute_process(COMMAND ${fill} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "filling a fresh folder failed: ${rc}")
endif()
foreach(relative prog.cfg settings.cfg html/template.asp)
  file(READ "${SOURCE}/dist/${relative}" delivered)
  expect_same(${relative} "${delivered}")
endforeach()
foreach(sub logs html Excel)
  if(NOT IS_DIRECTORY "${folder}/${sub}")
    message(FATAL_ERROR "no ${sub} folder")
  endif()
endforeach()

# The user's calibration, settings and template; a removed file.
file(WRITE "${folder}/settings.cfg" "<VoltDivider>39.5</VoltDivider>")
file(WRITE "${folder}/prog.cfg" "edited")
file(WRITE "${folder}/html/template.asp" "")
file(WRITE "${folder}/logs/2026_3_7.txt" "<V>13</V>")
execute_process(COMMAND ${fill} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "filling an existing folder failed: ${rc}")
endif()
expect_same(settings.cfg "<VoltDivider>39.5</VoltDivider>")
expect_same(prog.cfg "edited")
expect_same(html/template.asp "")
expect_same(logs/2026_3_7.txt "<V>13</V>")

file(REMOVE "${folder}/html/template.asp")
execute_process(COMMAND ${fill} RESULT_VARIABLE rc)
file(READ "${SOURCE}/dist/html/template.asp" delivered)
expect_same(html/template.asp "${delivered}")
file(REMOVE_RECURSE "${folder}")
