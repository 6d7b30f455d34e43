# Makes the hidden symbols of a relocatable object local, except those in
# COMDAT groups. Hidden keeps a symbol out of any shared object's exports but
# not out of reach of a static link; local takes it out of reach, so no code
# in the app can call the test-only path switches. COMDAT members stay
# global: the final link keeps one copy of each group and drops the others,
# and references from the dropped copies' objects (the platform archive's
# DW.ref.__gxx_personality_v0, say) must still find the kept one.
#   cmake -DOBJECT=x.o -DREADELF=readelf -DOBJCOPY=objcopy -P localize_hidden.cmake
cmake_minimum_required(VERSION 3.25)

foreach(var OBJECT READELF OBJCOPY)
  if(NOT ${var})
    message(FATAL_ERROR "localize_hidden: ${var} not given")
  endif()
endforeach()

# readelf translates its headings ("COMDAT group section" among them) under
# the user's locale; the parsing below reads the untranslated output.
set(ENV{LC_ALL} C)
unset(ENV{LANGUAGE})

function(readelf out)
  execute_process(COMMAND ${READELF} -W ${ARGN} ${OBJECT} RESULT_VARIABLE rc OUTPUT_VARIABLE text)
  if(rc)
    message(FATAL_ERROR "localize_hidden: readelf ${ARGN} failed")
  endif()
  string(REPLACE ";" "\\;" text "${text}")
  string(REPLACE "\n" ";" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Section indices of every COMDAT group's members: "   [   25]   .data.rel..."
# under "COMDAT group section [...]". Plain groups ("group section", clang's
# sanitizer coverage tables tied to their function) are not folded: their
# members may be made local like any other.
readelf(groups -g)
set(member_sections "")
set(in_comdat FALSE)
foreach(line IN LISTS groups)
  if(line MATCHES "^COMDAT group section ")
    set(in_comdat TRUE)
  elseif(line MATCHES "group section \\[")  # binutils: "group section", llvm: "(unknown) group section"
    set(in_comdat FALSE)
  elseif(in_comdat AND line MATCHES "^ +\\[ *([0-9]+)\\] ")
    list(APPEND member_sections ${CMAKE_MATCH_1})
  endif()
endforeach()

# Defined global or weak hidden symbols outside those sections:
# "   207: 0000000000000000     8 OBJECT  GLOBAL HIDDEN    25 name"
readelf(symbols -s)
set(names "")
foreach(line IN LISTS symbols)
  if(line MATCHES "^ *[0-9]+: [0-9a-f]+ +(0x)?[0-9a-f]+ [A-Z_]+ +(GLOBAL|WEAK) +HIDDEN +([0-9]+) (.+)$")
    if(NOT CMAKE_MATCH_3 IN_LIST member_sections)
      list(APPEND names ${CMAKE_MATCH_4})
    endif()
  elseif(line MATCHES "^ *[0-9]+: [0-9a-f]+ +(0x)?[0-9a-f]+ [A-Z_]+ +(GLOBAL|WEAK) +HIDDEN +UND ")
    # Undefined (the sanitizer coverage section bounds, say): the final link
    # defines it; there is nothing here to make local.
  elseif(line MATCHES " (GLOBAL|WEAK) +HIDDEN ")
    # A row in a layout this script does not know: stop rather than leave
    # hidden symbols global or group members local without a word.
    message(FATAL_ERROR "localize_hidden: unreadable symbol row: ${line}")
  endif()
endforeach()
list(REMOVE_DUPLICATES names)
list(JOIN names "\n" text)
set(list_file ${OBJECT}.localize)
file(WRITE ${list_file} "${text}\n")
execute_process(COMMAND ${OBJCOPY} --localize-symbols=${list_file} ${OBJECT} RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "localize_hidden: objcopy failed")
endif()
