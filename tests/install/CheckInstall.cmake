# Installs the build into a fresh prefix and checks that the desktop integration is
# there and sound: the programs, the data folder, the launcher entry, the AppStream
# description, the project file's type and every icon at its size. Run as
#   cmake -DBUILD_DIR=... -DPREFIX=... -P CheckInstall.cmake
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}"
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${status}):\n${out}${err}")
endif()

set(failures "")
foreach(path
    bin/kestrova
    share/kestrova/done.wav
    share/kestrova/Language/German.txt
    share/kestrova/sample/album.osh
    share/applications/kestrova-gui.desktop
    share/metainfo/io.kestrova.Kestrova.metainfo.xml
    share/mime/packages/kestrova.xml
    share/icons/hicolor/scalable/apps/kestrova.svg)
  if(NOT EXISTS "${PREFIX}/${path}")
    string(APPEND failures "missing: ${path}\n")
  endif()
endforeach()
if(EXISTS "${BUILD_DIR}/src/kestrova-gui" AND NOT EXISTS "${PREFIX}/bin/kestrova-gui")
  string(APPEND failures "missing: bin/kestrova-gui (it was built)\n")
endif()
# The desktop files live in their own folders, not twice in the data folder.
foreach(path share/kestrova/icons share/kestrova/kestrova-gui.desktop share/kestrova/kestrova-mime.xml)
  if(EXISTS "${PREFIX}/${path}")
    string(APPEND failures "in the data folder too: ${path}\n")
  endif()
endforeach()

# Each PNG is a picture of its folder's size: width and height from the IHDR chunk.
foreach(size 16 32 48 64 128 256)
  set(png "${PREFIX}/share/icons/hicolor/${size}x${size}/apps/kestrova.png")
  if(NOT EXISTS "${png}")
    string(APPEND failures "missing: icon ${size}x${size}\n")
    continue()
  endif()
  file(READ "${png}" signature LIMIT 8 HEX)
  file(READ "${png}" dimensions OFFSET 16 LIMIT 8 HEX)
  math(EXPR expected "${size}" OUTPUT_FORMAT HEXADECIMAL)
  string(SUBSTRING "${expected}" 2 -1 expected)
  string(LENGTH "${expected}" length)
  while(length LESS 8)
    string(PREPEND expected "0")
    string(LENGTH "${expected}" length)
  endwhile()
  if(NOT signature STREQUAL "89504e470d0a1a0a" OR NOT dimensions STREQUAL "${expected}${expected}")
    string(APPEND failures "icon ${size}x${size} is not a ${size} x ${size} PNG (${signature} ${dimensions})\n")
  endif()
endforeach()

# The launcher entry starts the program with one project file and names the icon.
file(READ "${PREFIX}/share/applications/kestrova-gui.desktop" entry)
foreach(line "Name=Kestrova" "Exec=kestrova-gui %f" "Icon=kestrova" "Categories=AudioVideo;DiscBurning;"
    "MimeType=application/x-kestrova-project;")
  string(FIND "${entry}" "\n${line}\n" at)
  if(at EQUAL -1)
    string(APPEND failures "kestrova-gui.desktop lacks the line ${line}\n")
  endif()
endforeach()

# The freedesktop validators, where installed (scripts/setup.sh installs them).
find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
if(DESKTOP_FILE_VALIDATE)
  execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} "${PREFIX}/share/applications/kestrova-gui.desktop"
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0 OR NOT "${out}${err}" STREQUAL "")
    string(APPEND failures "desktop-file-validate: ${out}${err}\n")
  endif()
else()
  message(STATUS "desktop-file-validate not found: the launcher entry is not validated")
endif()
find_program(APPSTREAMCLI appstreamcli)
if(APPSTREAMCLI)
  execute_process(COMMAND ${APPSTREAMCLI} validate --no-net
    "${PREFIX}/share/metainfo/io.kestrova.Kestrova.metainfo.xml"
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    string(APPEND failures "appstreamcli validate: ${out}${err}\n")
  endif()
else()
  message(STATUS "appstreamcli not found: the AppStream description is not validated")
endif()

file(REMOVE_RECURSE "${PREFIX}")
if(failures)
  message(FATAL_ERROR "the installed tree is not complete:\n${failures}")
endif()
message(STATUS "installed tree complete")
