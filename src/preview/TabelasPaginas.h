#pragma once
// The character code tables of Epson printers (ESC t n) that the preview
// knows: which character each byte 80..FF prints as. Bytes 20..7E are ASCII
// in every table. The tables are generated code (tools/gen_codepages).
namespace bilhetor::preview {

struct TTabelaCaracteres {
  int n;                   // the ESC t parameter
  const char* nome;        // "PC850", "WPC1252", ...
  const char16_t* alto;    // 128 characters, for the bytes 80..FF
};

// The table that ESC t n selects; nullptr for a table the preview does not know.
const TTabelaCaracteres* TabelaCaracteres(int n);

}  // namespace bilhetor::preview
