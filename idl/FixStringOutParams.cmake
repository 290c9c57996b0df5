# Mends widl 7's -Oicf proxy code for "[out, string] LPWSTR*" parameters. Their entry
# in the procedure format string names the string pointer itself instead of the
# [allocated_on_stack] reference pointer in front of it, so the string came back NULL
# across processes (GetErrorString, GetState's name, GetItemID). The entry is pointed at
# the reference pointer, as it is for every other [out] pointer to a pointer.
#   cmake -DFILE=<name>_p.c -P FixStringOutParams.cmake
file(READ "${FILE}" text)
# "/* N (LPWSTR *) */" followed by the reference pointer to "Offset= 2 (M)": M is wrong, N right.
string(REGEX MATCHALL
       "/\\* [0-9]+ \\(LPWSTR \\*\\) \\*/\n[^\n]*FC_RP \\[allocated_on_stack\\] \\[pointer_deref\\][^\n]*\n[^\n]*Offset= 2 \\([0-9]+\\)"
       pairs "${text}")
set(fixed 0)
foreach(pair IN LISTS pairs)
  string(REGEX REPLACE "^/\\* ([0-9]+) .*" "\\1" right "${pair}")
  string(REGEX REPLACE ".*Offset= 2 \\(([0-9]+)\\)$" "\\1" wrong "${pair}")
  math(EXPR wrongHex "${wrong}" OUTPUT_FORMAT HEXADECIMAL)
  math(EXPR rightHex "${right}" OUTPUT_FORMAT HEXADECIMAL)
  set(from "NdrFcShort(${wrongHex}),\t/* type offset = ${wrong} */")
  set(to "NdrFcShort(${rightHex}),\t/* type offset = ${right} */")
  string(FIND "${text}" "${from}" at)
  if(at GREATER -1)
    string(REPLACE "${from}" "${to}" text "${text}")
    math(EXPR fixed "${fixed} + 1")
  endif()
endforeach()
file(WRITE "${FILE}" "${text}")
