// A small animated picture: one or two shaded solid figures that tumble
// slowly over a scrolling gradient. Self-contained 3-D: points with
// rotation and perspective projection, flat convex faces lit by one light,
// figures drawn back to front through a binary space-partitioning tree.
//
// Axes: x is depth (the viewer looks along x), z runs to the right and y
// downwards on the screen.
//
// In form resources: "SpinCube SpinCube1".
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "Control.h"

struct TPoint3d
{
  float x = 0, y = 0, z = 0;

  TPoint3d() = default;
  TPoint3d(float ax, float ay, float az) : x(ax), y(ay), z(az) {}

  void RotateX(float angle);
  void RotateY(float angle);
  void RotateZ(float angle);

  float Dot(const TPoint3d& p) const { return x * p.x + y * p.y + z * p.z; }
  TPoint3d Minus(const TPoint3d& p) const { return {x - p.x, y - p.y, z - p.z}; }
  TPoint3d Plus(const TPoint3d& p) const { return {x + p.x, y + p.y, z + p.z}; }
  TPoint3d Cross(const TPoint3d& p) const { return {y * p.z - z * p.y, z * p.x - x * p.z, x * p.y - y * p.x}; }
  TPoint3d Scaled(float f) const { return {x * f, y * f, z * f}; }
  float Length() const;
  // Unit length; a zero vector is left as it is.
  void Normalize();
  // The screen point under the shared screen centre.
  POINT Project() const;
};

// What the spin cubes of the program share: the screen centre (set by the
// control sized last), the light, the sine/cosine cache, the background's
// scroll counter and the face overlay.
struct TSpinCubeShared
{
  POINT ScreenCentre{40, 40};
  TPoint3d Light{-10, 10, 0};
  float CachedAngle = 0, CachedSin = 0, CachedCos = 1;
  int ScrollCounter = 0;
  bool FaceOverlay = false;
};
TSpinCubeShared& SpinCubeShared();

// The sine and cosine of an angle, from the shared cache when the angle is
// within 0.0003 of the one cached.
void SpinSinCos(float angle, float& s, float& c);

// Random(n) of the unit: 0 .. n-1, seeded from the clock at start.
int SpinRandom(int n);
void SeedSpinRandom(unsigned seed);

// Something that can be turned and drawn.
class TMojj
{
public:
  virtual ~TMojj() = default;
  virtual void RotateX(float /*angle*/) {}
  virtual void RotateY(float /*angle*/) {}
  virtual void RotateZ(float /*angle*/) {}
  virtual void Draw(HDC /*dc*/) {}
};

// One flat convex face.
class TFyrkant : public TMojj
{
public:
  // The centre and the unit normal come from the vertices; the normal
  // follows the order of the vertices (right-hand rule).
  explicit TFyrkant(std::vector<TPoint3d> vertices, bool blue = false);

  void RotateX(float angle) override;
  void RotateY(float angle) override;
  void RotateZ(float angle) override;
  void Draw(HDC dc) override;

  const TPoint3d& Normal() const { return FNormal; }
  const TPoint3d& Centre() const { return FCentre; }
  const std::vector<TPoint3d>& Vertices() const { return FVertices; }
  bool Blue() const { return FBlue; }
  // Reverses the vertex order (and so the normal).
  void Flip();

  // The shade of the face under a light at lightPosition: 120 when it is
  // turned away from the light or edge-on, up to 250 facing it.
  int ShadeLevel(const TPoint3d& lightPosition) const;
  static COLORREF ShadeColor(int level, bool blue);

  // Children in the figure's partition tree.
  TFyrkant* Front = nullptr;
  TFyrkant* Back = nullptr;

private:
  void Recompute();
  // Turns the vertices, the centre and the normal alike.
  void Turn(void (TPoint3d::*rotate)(float), float angle);
  std::vector<TPoint3d> FVertices;
  TPoint3d FNormal;
  TPoint3d FCentre;
  bool FBlue = false;
};

// A figure: faces drawn back to front through a partition tree whose root
// is the first face.
class TKub : public TMojj
{
public:
  // A cube with its corners at +-1.
  TKub();

  void RotateX(float angle) override;
  void RotateY(float angle) override;
  void RotateZ(float angle) override;
  void Draw(HDC dc) override;
  virtual void BuildTree();

  const std::vector<std::unique_ptr<TFyrkant>>& Faces() const { return FFaces; }
  // The faces in drawing order, for the viewer looking along +x.
  void VisitBackToFront(const std::function<void(TFyrkant&)>& visit) const;

protected:
  struct TNoFaces {};
  explicit TKub(TNoFaces) {}
  // Adds a face whose normal is turned to point along outward.
  void AddFace(std::vector<TPoint3d> vertices, const TPoint3d& outward, bool blue = false);
  // A slab between depths x0 and x1 of an outline in the screen plane,
  // given as (z, y) points running clockwise on the screen; its caps are
  // convex pieces that together cover the outline.
  using TZY = std::pair<float, float>;
  void AddSlab(const std::vector<TZY>& outline, const std::vector<std::vector<TZY>>& caps, float x0, float x1,
               bool blueCaps);
  std::vector<std::unique_ptr<TFyrkant>> FFaces;

private:
  static void Visit(TFyrkant* node, const std::function<void(TFyrkant&)>& visit);
};

// The cube cut along a diagonal plane: a three-sided prism.
class THalKub : public TKub
{
public:
  THalKub();
};

// A four-sided pyramid on a square base.
class TPyramid : public TKub
{
public:
  TPyramid();
};

// A letter Z in slab form.
class TZata : public TKub
{
public:
  TZata();
};

// A ball of flat bands.
class TBoll : public TKub
{
public:
  TBoll();
};

// A ring of flat segments.
class TRing : public TKub
{
public:
  TRing();
};

// The control: owns the figures, the palette and the double buffer, and
// draws one frame per Step.
class TSpinCube : public TControl
{
public:
  explicit TSpinCube(TComponent* owner);
  ~TSpinCube() override;

  // Chooses new figures at random.
  void NewFigure();
  // Advances the animation and draws one frame.
  void Step();

  const std::vector<std::unique_ptr<TKub>>& Figures() const { return FFigures; }
  float Speed(int axis) const { return FSpeed[axis]; }
  int DrawWidth() const { return FWidth; }
  int DrawHeight() const { return FHeight; }
  bool BackgroundReady() const { return FBackgroundReady; }
  HBITMAP BackgroundBitmap() const { return FBackground; }
  int StepCount() const { return FSteps; }

  // Paints the gradient background of a w x h area into dc.
  static void PaintBackground(HDC dc, int w, int h);

protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
  void Resize(int w, int h);
  void FreeBitmaps();

  std::vector<std::unique_ptr<TKub>> FFigures;
  float FSpeed[3] = {0, 0, 0};
  int FWidth = 80, FHeight = 80;
  // One frame: the scrolled background, the figures, then onto the window.
  void DrawFrame(int w, int h, int offset);

  HPALETTE FPalette = nullptr;
  HBITMAP FBackground = nullptr;
  HBITMAP FFrame = nullptr;
  bool FBackgroundReady = false;
  int FSteps = 0;
};
