# Turns every "#define IDS_NAME number" of the string-id header into an entry
# {IDS_NAME, "IDS_NAME"}, for the test that checks the string tables.
file(STRINGS ${IN} lines REGEX "^#define[ \t]+IDS_[A-Z0-9_]+[ \t]+[0-9]+")
set(out "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^#define[ \t]+(IDS_[A-Z0-9_]+).*" "\\1" name "${line}")
  string(APPEND out "    {${name}, \"${name}\"},\n")
endforeach()
file(WRITE ${OUT}.tmp "${out}")
configure_file(${OUT}.tmp ${OUT} COPYONLY)
