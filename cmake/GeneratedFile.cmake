# velloran_write_generated(<file> <text>): writes a file generated at configure time, only when
# its text changes, so a new configure does not rebuild what depends on it.
function(velloran_write_generated file text)
  file(WRITE ${file}.new "${text}")
  file(COPY_FILE ${file}.new ${file} ONLY_IF_DIFFERENT)
  file(REMOVE ${file}.new)
endfunction()
