// The files of Hollerquast's media generator, one writer each.
#pragma once

#include <string>

namespace media {

// Meshes (.ddd), built with the runtime's object builder.
void WriteWitch(const std::string& path);
void WriteHouse(const std::string& path);
void WriteTree(const std::string& path);
void WriteGround(const std::string& path);
void WriteGhost(const std::string& path);
void WriteShot(const std::string& path);
void WriteSkyBox(const std::string& path);

// Pictures (24-bit BMP; the colour red 255, green 0, blue 128 is transparent).
void WriteMoon(const std::string& path);
void WriteSky(const std::string& path);
void WriteClouds(const std::string& path);
// Where the cloud picture's wisps lie in each of its 3 x 3 cells, as fractions of the cell
// (the same either way up); the game's cloud slabs cover only this box.
struct CellBox {
  double u0, u1, v0, v1;
};
constexpr CellBox kCloudWisps{0.12, 0.88, 0.25, 0.75};

// The crash sound: 16-bit mono PCM wave at 22,050 Hz.
void WriteSalto(const std::string& path);

}  // namespace media
