# Mends widl 7's -Oicf proxy code for "[out, string] LPWSTR*" parameters (and IOPCBrowse's
# "[in, out, string] LPWSTR*" continuation point, which has the same shape). Their entry
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
# widl's listing changed shape: nothing here can be trusted to apply any more.
string(REGEX MATCHALL "/\\* [0-9]+ \\(LPWSTR \\*\\) \\*/" markers "${text}")
if(markers AND NOT pairs)
  message(WARNING "${FILE}: [out, string] LPWSTR* entries found in a form this mend does not "
                  "know; across processes such strings may come back NULL")
endif()
foreach(pair IN LISTS pairs)
  string(REGEX REPLACE "^/\\* ([0-9]+) .*" "\\1" right "${pair}")
  string(REGEX REPLACE ".*Offset= 2 \\(([0-9]+)\\)$" "\\1" wrong "${pair}")
  math(EXPR wrongHex "${wrong}" OUTPUT_FORMAT HEXADECIMAL)
  math(EXPR rightHex "${right}" OUTPUT_FORMAT HEXADECIMAL)
  set(from "NdrFcShort(${wrongHex}),\t/* type offset = ${wrong} */")
  set(to "NdrFcShort(${rightHex}),\t/* type offset = ${right} */")
  # Absent once widl gets the entry right itself.
  string(REPLACE "${from}" "${to}" text "${text}")
endforeach()
file(WRITE "${FILE}" "${text}")
