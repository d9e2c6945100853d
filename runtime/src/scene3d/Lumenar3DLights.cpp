// Lights: OpenGL's fixed-function lights 0 to 7 as ambient, directional, spot and point lights,
// and the switch of the special shading (bump mapping, cel shading) by negative light numbers.
#include <cmath>

#include <tavelor/frame.h>
#include <tavelor/scene3d.h>

#include "display/OpenGLLumenar.h"
#include "scene3d/Lumenar3D.h"
#include "values/Numbers.h"

namespace TAVELOR {

namespace {
const GLfloat kLightOff[4] = {0, 0, 0, 1};
constexpr unsigned long kMarkerColour = 0x80C8FF;
constexpr unsigned long kMarkerBeamColour = 0x6CAAE1;
}  // namespace

void Lumenar3D::SpotLt(int light, unsigned long colour, float x, float y, float z, float dx, float dy, float dz,
                       float cutoff, int /*debug*/) {
  if (light < 0) {
    specialShading = cutoff != 0;
    specialKind = light == -1 ? 1 : 2;
    specialLight[0] = x;
    specialLight[1] = y;
    specialLight[2] = z;
    return;
  }
  const int index = light & 7;
  const GLenum id = GL_LIGHT0 + index;
  if (cutoff == 0) {
    glDisable(id);
    lightMask = static_cast<unsigned char>(lightMask & ~(1u << index));
    if (lightMask == 0) {
      glDisable(GL_LIGHTING);
      lightingOn = false;
    }
    return;
  }
  glEnable(GL_LIGHTING);
  glEnable(id);
  lightingOn = true;
  lightMask = static_cast<unsigned char>(lightMask | (1u << index));

  const GLfloat rgba[4] = {static_cast<float>(colour & 0xFF) / 255.0f, static_cast<float>((colour >> 8) & 0xFF) / 255.0f,
                           static_cast<float>((colour >> 16) & 0xFF) / 255.0f, 1};
  const float length = std::sqrt(dx * dx + dy * dy + dz * dz);
  const float unit[3] = {length != 0 ? dx / length : dx, length != 0 ? dy / length : dy, length != 0 ? dz / length : dz};
  const GLfloat position[4] = {x, y, z, 1};

  if (x == 0 && y == 0 && z == 0 && dx == 0 && dy == 0 && dz == 0) {
    // Ambient: a directional light that adds only its ambient part. The cut-off goes back to
    // 180 so an earlier spot cone on this light cannot limit it.
    const GLfloat towardsViewer[4] = {0, 0, 1, 0};
    glPushMatrix();
    glLoadIdentity();
    glLightfv(id, GL_POSITION, towardsViewer);
    glPopMatrix();
    glLightf(id, GL_SPOT_CUTOFF, 180);
    glLightfv(id, GL_AMBIENT, rgba);
    glLightfv(id, GL_DIFFUSE, kLightOff);
    return;
  }
  if (cutoff == 180) {
    // Directional, shining along d.
    const GLfloat direction[4] = {-unit[0], -unit[1], -unit[2], 0};
    glLightf(id, GL_SPOT_CUTOFF, 180);
    glLightfv(id, GL_POSITION, direction);
    glLightfv(id, GL_AMBIENT, rgba);
    glLightfv(id, GL_DIFFUSE, kLightOff);
  } else if (cutoff <= 90) {
    // A spot; OpenGL takes cut-offs of 0..90 only, so a negative one becomes a cone of no width.
    glLightf(id, GL_SPOT_CUTOFF, cutoff > 0 ? cutoff : 0);
    glLightfv(id, GL_POSITION, position);
    glLightfv(id, GL_SPOT_DIRECTION, unit);
    glLightfv(id, GL_AMBIENT, rgba);
    glLightfv(id, GL_DIFFUSE, rgba);
  } else {
    glLightf(id, GL_SPOT_CUTOFF, 180);
    glLightfv(id, GL_POSITION, position);
    glLightfv(id, GL_AMBIENT, rgba);
    glLightfv(id, GL_DIFFUSE, rgba);
  }

  // Markers: a dot at the light, and for a spot a beam along its direction.
  DrawDot(position, kMarkerColour, 40);
  if (cutoff <= 90) {
    const float end[3] = {x + 500 * unit[0], y + 500 * unit[1], z + 500 * unit[2]};
    DrawLine(position, end, kMarkerBeamColour, 3);
  }
}

void Lumenar3D::AmbientLt(int light, unsigned long colour) { SpotLt(light, colour, 0, 0, 0, 0, 0, 0, 180.0f, 1); }

// ---- Commands --------------------------------------------------------------------------------

void X_SPOT_LT(double light, double colour, double x, double y, double z, double dx, double dy, double dz,
               double cutoff) {
  lumbo3D.SpotLt(TruncToInt(light), TruncToColour(colour), static_cast<float>(x), static_cast<float>(y),
                 static_cast<float>(z), static_cast<float>(dx), static_cast<float>(dy), static_cast<float>(dz),
                 static_cast<float>(cutoff), __DG_DEBUG);
}

void X_AMBIENT_LT(double light, double colour) { lumbo3D.AmbientLt(TruncToInt(light), TruncToColour(colour)); }

}  // namespace TAVELOR
