# Resources linked into an executable (the blob format and how a program
# finds it at run time are described in platform/storage/Resources.h).
#
#   belvo_attach_resources(TARGET MANIFEST [DEPENDS item...])
#
# packs the resources that MANIFEST lists (see tools/pack-resources.cpp)
# into a blob at build time and links it into TARGET's belvo_rsrc section.
# TARGET is an executable made in the calling directory. MANIFEST is first
# run through configure_file(@ONLY), so it may name files the build makes,
# as file:@BELVO_RESOURCE_DIR@/kesto_bg.bmp; relative paths in it are taken
# from the manifest's own directory. The blob is packed again whenever the
# manifest or a file it names changes. When a file named is made in another
# directory, pass the target that makes it in DEPENDS.

add_executable(pack-resources ${CMAKE_CURRENT_LIST_DIR}/../tools/pack-resources.cpp)
target_include_directories(pack-resources PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../platform/storage)
add_executable(list-resources ${CMAKE_CURRENT_LIST_DIR}/../tools/list-resources.cpp)
target_include_directories(list-resources PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../platform/storage)

function(belvo_attach_resources target manifest)
  cmake_parse_arguments(PARSE_ARGV 2 ARG "" "" "DEPENDS")
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "belvo_attach_resources: unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  get_filename_component(manifest ${manifest} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  get_filename_component(base ${manifest} DIRECTORY)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources)
  set(configured ${dir}/resources.manifest)
  set(blob ${dir}/resources.blob)
  set(source ${dir}/resources.c)

  configure_file(${manifest} ${configured} @ONLY)

  # The files the manifest names, so that a change to any of them packs the
  # blob again. The pattern follows the packer's line syntax: type, id,
  # quoted name (with \" and \\ escapes), then the source.
  set(inputs)
  file(STRINGS ${configured} lines)
  foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t]*'[^']*'[ \t]+-?[0-9]+[ \t]+\"([^\"\\\\]|\\\\.)*\"[ \t]+file:(.*)$")
      string(STRIP "${CMAKE_MATCH_2}" path)
      get_filename_component(path "${path}" ABSOLUTE BASE_DIR ${base})
      list(APPEND inputs ${path})
    endif()
  endforeach()

  add_custom_command(
    OUTPUT ${blob}
    COMMAND pack-resources --base ${base} ${configured} ${blob}
    DEPENDS pack-resources ${configured} ${manifest} ${inputs} ${ARG_DEPENDS}
    COMMENT "Packing the resources of ${target}"
    VERBATIM)

  # The assembler pulls the blob in as it is; the section name is a C
  # identifier, so the linker provides __start_belvo_rsrc and
  # __stop_belvo_rsrc around it.
  file(CONFIGURE OUTPUT ${source} CONTENT
"/* Made by belvo_attach_resources() for ${target}: its resource blob. */
__asm__(
	\"\\t.pushsection belvo_rsrc, \\\"a\\\", @progbits\\n\"
	\"\\t.balign 4\\n\"
	\"\\t.incbin \\\"${blob}\\\"\\n\"
	\"\\t.popsection\\n\");
")
  # Listing the blob among the sources puts its packing step into the
  # target; OBJECT_DEPENDS reassembles the object whenever it changes.
  target_sources(${target} PRIVATE ${source} ${blob})
  set_source_files_properties(${blob} TARGET_DIRECTORY ${target}
    PROPERTIES HEADER_FILE_ONLY ON)
  set_source_files_properties(${source} TARGET_DIRECTORY ${target}
    PROPERTIES OBJECT_DEPENDS ${blob})
endfunction()
