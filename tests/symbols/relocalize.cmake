# Repeats the delivery's partial link and localize step under a translating
# environment (binutils ships its messages in French, German, ...), then runs
# check_symbols.sh on the result in the same environment: neither the step nor
# the check may read translated tool output as "no COMDAT groups".
#   cmake -DOBJECTS=a.o|b.o -DCXX=c++ -DREADELF=readelf -DOBJCOPY=objcopy
#         -DSOURCE_DIR=<tree> -DOUT=x.o -P relocalize.cmake
cmake_minimum_required(VERSION 3.25)

set(ENV{LANG} C.UTF-8)
set(ENV{LC_ALL} C.UTF-8)
set(ENV{LANGUAGE} fr:de:es)
string(REPLACE "|" ";" objects "${OBJECTS}")

execute_process(COMMAND ${CXX} -r -nostdlib -o ${OUT} ${objects} COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CMAKE_COMMAND} -DOBJECT=${OUT} -DREADELF=${READELF} -DOBJCOPY=${OBJCOPY}
  -P ${SOURCE_DIR}/cmake/localize_hidden.cmake COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${SOURCE_DIR}/tests/symbols/check_symbols.sh ${OUT} COMMAND_ERROR_IS_FATAL ANY)
