# Writes a C++ header that holds the bytes of a text file as a
# NUL-terminated char array, so that a script kept in a file of its own is
# compiled into the program exactly as the file holds it. Run at build time:
#   cmake -DINPUT=<file> -DOUTPUT=<header> -DSYMBOL=<name> -P embed_text.cmake
# Every byte is written as a hex escape, so no content can end the literal
# early or be changed by the compiler.
foreach(required INPUT OUTPUT SYMBOL)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "embed_text.cmake: ${required} is not set")
  endif()
endforeach()

file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
# Sixteen bytes a line (CMake's regular expressions have no counted repeats).
string(REPEAT "'\\\\x[0-9a-f][0-9a-f]'," 16 line)
string(REGEX REPLACE "(${line})" "\\1\n    " bytes "${bytes}")
get_filename_component(input_name "${INPUT}" NAME)
get_filename_component(output_name "${OUTPUT}" NAME)
string(MAKE_C_IDENTIFIER "SCRIVLET_${output_name}_" guard)
string(TOUPPER "${guard}" guard)

file(WRITE "${OUTPUT}.tmp"
"// Generated at build time from ${input_name} by embed_text.cmake; edit
// ${input_name}, not this file.
#ifndef ${guard}
#define ${guard}

namespace scrivlet {

inline constexpr char ${SYMBOL}[] = {
    ${bytes}'\\0'};

}  // namespace scrivlet

#endif  // ${guard}
")
# An unchanged header keeps its time stamp, so nothing is rebuilt for it.
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
