# Runs pack-resources on small manifests: one good one, whose blob is
# checked byte for byte, and bad ones, each of which must fail on one line
# naming the manifest and the faulty line, and leave no blob behind.

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/data)

file(WRITE ${WORK}/data/two.bin "xy")
file(WRITE ${WORK}/good.manifest
"# a comment, then a blank line

'ABCD' -2 \"nm\" cstring:hell
  'DATA' 7 \"\" file:data/two.bin
'WORD' 0 \"a \\\"b\\\"\" uint32:0x01020304\r
")
execute_process(COMMAND ${PACK_RESOURCES} ${WORK}/good.manifest ${WORK}/good.blob
  RESULT_VARIABLE status ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "good manifest refused: ${err}")
endif()
file(READ ${WORK}/good.blob blob HEX)
set(expected
  "42525343" "03000000"
  "44434241" "feffffff" "02000000" "05000000" "6e6d0000" "68656c6c00000000"
  "41544144" "07000000" "00000000" "02000000" "00000000" "78790000"
  "44524f57" "00000000" "05000000" "04000000" "6120226222000000" "04030201")
string(CONCAT expected ${expected})
if(NOT blob STREQUAL expected)
  message(FATAL_ERROR "good manifest packed as\n${blob}\nexpected\n${expected}")
endif()

# --base takes relative paths from elsewhere.
file(WRITE ${WORK}/based.manifest "'DATA' 1 \"\" file:two.bin\n")
execute_process(COMMAND ${PACK_RESOURCES} --base ${WORK}/data
  ${WORK}/based.manifest ${WORK}/based.blob RESULT_VARIABLE status
  ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "--base not followed: ${err}")
endif()

string(REPEAT "n" 256 long_name)
set(bad_lines
  "BMP  1 \"x\" uint32:1"
  "'BMP' 1 \"x\" uint32:1"
  "'BMP ' x \"x\" uint32:1"
  "'BMP ' - \"x\" uint32:1"
  "'BMP ' 99999999999 \"x\" uint32:1"
  "'BMP ' 1 x uint32:1"
  "'BMP ' 1 \"x uint32:1"
  "'BMP ' 1 \"x\\n\" uint32:1"
  "'BMP ' 1 \"x\"uint32:1"
  "'BMP ' 1 \"x\""
  "'BMP ' 1 \"x\" "
  "'BMP ' 1 \"x\" uint32:"
  "'BMP ' 1 \"x\" uint32:4294967296"
  "'BMP ' 1 \"x\" uint32:12ab"
  "'BMP ' 1 \"x\" uint32:-1"
  "'BMP ' 1 \"x\" file:"
  "'BMP ' 1 \"x\" file:no-such-file"
  "'BMP ' 1 \"x\" file:data"
  "'BMP ' 1 \"x\" cstring:bad \\q escape"
  "'BMP ' 1 \"x\" cstring:ends in <backslash>"
  "'BMP ' 1 \"x\" png:picture.png"
  "'BMP ' 1 \"${long_name}\" uint32:1"
  "'TEXT' 1 \"again\" uint32:1"
)
set(index 0)
foreach(line IN LISTS bad_lines)
  math(EXPR index "${index} + 1")
  set(manifest ${WORK}/bad${index}.manifest)
  set(output ${WORK}/bad${index}.blob)
  # A list element cannot end in a backslash, so it stands in words here.
  string(REPLACE "<backslash>" "\\" line "${line}")
  file(WRITE ${manifest} "'TEXT' 1 \"first\" cstring:fine\n${line}\n")
  execute_process(COMMAND ${PACK_RESOURCES} ${manifest} ${output}
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 1)
    message(FATAL_ERROR "'${line}': exit status ${status}, expected 1")
  endif()
  if(NOT err MATCHES "^pack-resources: [^\n]*bad${index}\\.manifest:2: [^\n]+\n$")
    message(FATAL_ERROR "'${line}': expected one line naming line 2, got '${err}'")
  endif()
  if(EXISTS ${output} OR EXISTS ${output}.tmp)
    message(FATAL_ERROR "'${line}': a blob was left behind")
  endif()
endforeach()

foreach(arguments "" "${WORK}/missing.manifest;${WORK}/missing.blob"
    "--base;${WORK};${WORK}/good.manifest")
  execute_process(COMMAND ${PACK_RESOURCES} ${arguments}
    RESULT_VARIABLE status ERROR_VARIABLE err)
  if(NOT status EQUAL 1 OR NOT err MATCHES "^pack-resources: [^\n]+\n$")
    message(FATAL_ERROR "arguments '${arguments}': status ${status}, '${err}'")
  endif()
endforeach()
