// tavlune-docs OUTDIR: writes the man page and the completions generated from
// tavlune's command table, as the install rules place them under a prefix:
//   OUTDIR/man/man1/tavlune.1
//   OUTDIR/bash-completion/completions/tavlune
//   OUTDIR/zsh/site-functions/_tavlune
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "cli/completions.h"
#include "cli/man_page.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("Usage: tavlune-docs OUTDIR\n", stderr);
    return 2;
  }
  namespace fs = std::filesystem;
  const fs::path out = argv[1];
  const std::pair<fs::path, std::string> files[] = {
      {out / "man/man1/tavlune.1", tavlune::cli::manPage()},
      {out / "bash-completion/completions/tavlune", tavlune::cli::bashCompletion()},
      {out / "zsh/site-functions/_tavlune", tavlune::cli::zshCompletion()},
  };
  for (const auto& [path, text] : files) {
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (error || !file) {
      std::fprintf(stderr, "tavlune-docs: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
