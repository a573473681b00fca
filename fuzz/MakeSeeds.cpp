// Writes the fuzzer's seed corpus into a directory.
//
//   varnhold-fuzz-seeds DIR
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>

#include "SeedCorpus.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: varnhold-fuzz-seeds DIR\n");
        return 2;
    }
    try {
        const std::filesystem::path Dir = argv[1];
        std::filesystem::create_directories(Dir);
        for (const varnhold::fuzz::TSeed& Seed : varnhold::fuzz::MakeSeedCorpus()) {
            const std::filesystem::path File = Dir / (Seed.Name + ".s98");
            std::ofstream Out(File, std::ios::binary | std::ios::trunc);
            Out.write(reinterpret_cast<const char*>(Seed.Bytes.data()),
                      static_cast<std::streamsize>(Seed.Bytes.size()));
            Out.close();
            if (!Out) {
                std::fprintf(stderr, "varnhold-fuzz-seeds: cannot write %s\n", File.c_str());
                return 1;
            }
        }
    } catch (const std::exception& Error) {
        std::fprintf(stderr, "varnhold-fuzz-seeds: %s\n", Error.what());
        return 1;
    }
    return 0;
}
