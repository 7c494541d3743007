# Runs list-resources (and objcopy) on the test programs and checks what
# they give: the listing of test-resources.manifest, byte-exact extraction,
# the blob dump, and one-line failures for what is not a resource carrier.

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status
    OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(status "${status}" PARENT_SCOPE)
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
endfunction()

function(expect_same file1 file2)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${file1} ${file2}
    RESULT_VARIABLE differ)
  if(differ)
    message(FATAL_ERROR "${file1} and ${file2} differ")
  endif()
endfunction()

function(expect_failure what)
  if(status EQUAL 0 OR NOT status MATCHES "^[0-9]+$")
    message(FATAL_ERROR "${what}: expected exit status 1, got '${status}'")
  endif()
  if(NOT err MATCHES "^list-resources: [^\n]+\n$")
    message(FATAL_ERROR "${what}: expected one line of complaint, got '${err}'")
  endif()
endfunction()

# The listing, in the manifest's order.
file(SIZE ${BACKGROUND} background_size)
file(SIZE ${TEXT} text_size)
set(expected
"0 'MIMS' 1 \"BEOS:APP_SIG\" 35
1 'APPF' 1 \"BEOS:APP_FLAGS\" 4
2 'BMP ' 1 \"kesto_bg\" ${background_size}
3 'TEXT' 5 \"\" ${text_size}
4 'BMP ' 2 \"kesto_bg\" 18
5 'LONG' -7 \"odd \\\"name\\\" \\\\ here\" 4
6 'CSTR' 3 \"lines\" 15
")
run(${LIST_RESOURCES} ${WITH})
if(NOT status EQUAL 0 OR NOT out STREQUAL expected)
  message(FATAL_ERROR "listing (status ${status}):\n${out}${err}\nexpected:\n${expected}")
endif()

# Extraction, with the type given bare, quoted and in hexadecimal.
run(${LIST_RESOURCES} ${WITH} --extract "BMP " 1 ${WORK}/background.bmp)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "extracting 'BMP ' 1: ${err}")
endif()
expect_same(${WORK}/background.bmp ${BACKGROUND})

run(${LIST_RESOURCES} ${WITH} --extract "'TEXT'" 5 ${WORK}/text.txt)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "extracting 'TEXT' 5: ${err}")
endif()
expect_same(${WORK}/text.txt ${TEXT})

run(${LIST_RESOURCES} ${WITH} --extract 0x4c4f4e47 -7 ${WORK}/long.bin)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "extracting 'LONG' -7: ${err}")
endif()
file(READ ${WORK}/long.bin long HEX)
if(NOT long STREQUAL "efbeadde")
  message(FATAL_ERROR "'LONG' -7 holds ${long}")
endif()

run(${LIST_RESOURCES} ${WITH} --extract "BMP " 3 ${WORK}/absent.bin)
expect_failure("extracting an absent resource")
if(EXISTS ${WORK}/absent.bin)
  message(FATAL_ERROR "extracting an absent resource left a file")
endif()
run(${LIST_RESOURCES} ${WITH} --extract "BMP" 1 ${WORK}/bad.bin)
expect_failure("a three-character type")
run(${LIST_RESOURCES} ${WITH} --extract "BMP " 1x ${WORK}/bad.bin)
expect_failure("an id that is no number")
run(${LIST_RESOURCES} ${WITH} --extract)
expect_failure("missing arguments")

# A program without resources lists nothing.
run(${LIST_RESOURCES} ${WITHOUT})
if(NOT status EQUAL 0 OR NOT out STREQUAL "")
  message(FATAL_ERROR "program without resources (status ${status}): ${out}${err}")
endif()

# What is no ELF file, or is cut short, is refused on one line.
run(${LIST_RESOURCES} ${NOT_ELF})
expect_failure("a text file")
run(${LIST_RESOURCES} ${WORK}/missing)
expect_failure("a missing file")
file(SIZE ${WITH} program_size)
math(EXPR half "${program_size} / 2")
foreach(length 0 3 63 64 200 ${half})
  execute_process(COMMAND head -c ${length} ${WITH}
    OUTPUT_FILE ${WORK}/cut RESULT_VARIABLE cut_status)
  if(cut_status)
    message(FATAL_ERROR "cannot cut the program")
  endif()
  run(${LIST_RESOURCES} ${WORK}/cut)
  expect_failure("the program cut at ${length} bytes")
endforeach()

# objcopy dumps the very blob the build packed.
if(OBJCOPY)
  run(${OBJCOPY} -O binary --only-section=belvo_rsrc ${WITH} ${WORK}/dump.bin)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "objcopy failed: ${err}")
  endif()
  expect_same(${WORK}/dump.bin ${BLOB})
endif()
