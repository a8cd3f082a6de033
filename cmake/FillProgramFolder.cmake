# SPDX-License-Identifier: GPL-3.0-or-later
# Lays out a program folder from the delivered files without touching what is
# already there: the user's settings, template and data survive every build.
#
#   cmake -DDIST=<dist folder> -DFOLDER=<program folder> -P FillProgramFolder.cmake

if(NOT DIST OR NOT FOLDER)
  message(FATAL_ERROR "FillProgramFolder.cmake needs -DDIST=... and -DFOLDER=...")
endif()

file(MAKE_DIRECTORY "${FOLDER}/logs" "${FOLDER}/html" "${FOLDER}/Excel")

file(GLOB_RECURSE delivered RELATIVE "${DIST}" "${DIST}/*")
foreach(relative IN LISTS delivered)
  # A dangling link counts as present too: the user put it there.
  if(NOT EXISTS "${FOLDER}/${relative}" AND NOT IS_SYMLINK "${FOLDER}/${relative}")
    get_filename_component(parent "${FOLDER}/${relative}" DIRECTORY)
    file(MAKE_DIRECTORY "${parent}")
    file(COPY_FILE "${DIST}/${relative}" "${FOLDER}/${relative}")
  endif()
endforeach()
