// hollerquast-media: writes Hollerquast's meshes, pictures and sound into a directory.
//
//   hollerquast-media DIR
//
// Exit status 0 when every file was written, 1 otherwise (with a message on standard error).
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "MediaFiles.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: hollerquast-media DIR\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  struct Item {
    const char* name;
    void (*write)(const std::string&);
  };
  const Item items[] = {{"hag.ddd", media::WriteWitch},     {"house.ddd", media::WriteHouse},
                        {"tree.ddd", media::WriteTree},     {"ground.ddd", media::WriteGround},
                        {"ghost.ddd", media::WriteGhost},   {"skybox.ddd", media::WriteSkyBox},
                        {"shoot.ddd", media::WriteShot},    {"moon.bmp", media::WriteMoon},
                        {"skybox.bmp", media::WriteSky},    {"cloud.bmp", media::WriteClouds},
                        {"salto.wav", media::WriteSalto}};
  try {
    std::filesystem::create_directories(dir);
    for (const Item& item : items) {
      const std::string path = (dir / item.name).string();
      item.write(path);
      // The mesh writer reports nothing itself: a file that did not appear is a failure.
      if (!std::filesystem::exists(path) || std::filesystem::file_size(path) == 0) {
        std::fprintf(stderr, "hollerquast-media: %s was not written\n", path.c_str());
        return 1;
      }
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "hollerquast-media: %s\n", e.what());
    return 1;
  }
  return 0;
}
