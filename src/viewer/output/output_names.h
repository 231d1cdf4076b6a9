#pragma once
// Names of the files the output commands write. Both are bare names (no
// folder), so the files land in the process's current working directory.
//
// Only the base name of the result file counts: its extension is the text
// from its last '.', unless that '.' is the first character (".hidden" has no
// extension). Dots in folder names are never taken for an extension.

#include <string>
#include <string_view>

namespace orv {

// The base name of `namefile` (text after its last '/') with its extension
// replaced by `suffix`, or with `suffix` appended when it has none.
std::string replace_extension_of_base(std::string_view namefile, std::string_view suffix);

// AVI video: "/data/run.1/viga.txt" -> "viga.avi"; "viga" -> "viga.avi".
std::string avi_file_name(std::string_view namefile);

// Node history list: ("viga.txt", "3") -> "viga_3.lst"; ("placa.dat", "A") ->
// "placa_A.lst". The tag is used as typed.
std::string list_file_name(std::string_view namefile, std::string_view tag);

// Figure ("Salvar Figura"): the proposed name, "_K" for result list K (none
// for 0, no list): ("/data/placa.txt", 3) -> "placa_3.png"; ("placa.txt", 0) -> "placa.png".
std::string figure_file_name(std::string_view namefile, int list);

} // namespace orv
