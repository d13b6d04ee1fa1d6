#include "SpinCube.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "GdiOwners.h"

namespace {

constexpr float Pi = 3.14159265f;

std::mt19937& RandomEngine()
{
  static std::mt19937 engine(static_cast<unsigned>(GetTickCount()));
  return engine;
}

// The unit's start-up: the shared state with its light, and the random
// numbers seeded from the clock.
const bool UnitStarted = [] {
  SpinCubeShared();
  RandomEngine();
  return true;
}();

} // namespace

TSpinCubeShared& SpinCubeShared()
{
  static TSpinCubeShared shared;
  return shared;
}

int SpinRandom(int n)
{
  if (n <= 1) return 0;
  return std::uniform_int_distribution<int>(0, n - 1)(RandomEngine());
}

void SeedSpinRandom(unsigned seed)
{
  RandomEngine().seed(seed);
}

void SpinSinCos(float angle, float& s, float& c)
{
  TSpinCubeShared& shared = SpinCubeShared();
  if (std::fabs(angle - shared.CachedAngle) > 0.0003f) {
    shared.CachedAngle = angle;
    shared.CachedSin = std::sin(angle);
    shared.CachedCos = std::cos(angle);
  }
  s = shared.CachedSin;
  c = shared.CachedCos;
}

// ---------------------------------------------------------------------------
// TPoint3d

namespace {

// Turns the coordinates a and b of a point in their plane.
void RotateInPlane(float& a, float& b, float angle)
{
  float s, c;
  SpinSinCos(angle, s, c);
  const float na = a * c - b * s;
  const float nb = a * s + b * c;
  a = na;
  b = nb;
}

} // namespace

void TPoint3d::RotateX(float angle)
{
  RotateInPlane(y, z, angle);
}

void TPoint3d::RotateY(float angle)
{
  RotateInPlane(x, z, angle);
}

void TPoint3d::RotateZ(float angle)
{
  RotateInPlane(x, y, angle);
}

float TPoint3d::Length() const
{
  return std::sqrt(x * x + y * y + z * z);
}

void TPoint3d::Normalize()
{
  float len = Length();
  if (len == 0) return;
  x /= len;
  y /= len;
  z /= len;
}

POINT TPoint3d::Project() const
{
  const POINT& centre = SpinCubeShared().ScreenCentre;
  float f = (1 - 0.04f * x) / 2;
  return {LONG(std::lround(z * f * float(centre.x) + float(centre.x))),
          LONG(std::lround(y * f * float(centre.y) + float(centre.y)))};
}

// ---------------------------------------------------------------------------
// TFyrkant

TFyrkant::TFyrkant(std::vector<TPoint3d> vertices, bool blue) : FVertices(std::move(vertices)), FBlue(blue)
{
  Recompute();
}

void TFyrkant::Recompute()
{
  FCentre = {};
  if (FVertices.empty()) return;
  for (const TPoint3d& v : FVertices) FCentre = FCentre.Plus(v);
  FCentre = FCentre.Scaled(1.0f / float(FVertices.size()));
  // The first two edges that are not in line give the normal.
  FNormal = {};
  const size_t n = FVertices.size();
  for (size_t i = 0; i < n; ++i) {
    TPoint3d e1 = FVertices[(i + 1) % n].Minus(FVertices[i]);
    TPoint3d e2 = FVertices[(i + 2) % n].Minus(FVertices[(i + 1) % n]);
    TPoint3d cross = e1.Cross(e2);
    if (cross.Length() > 1e-6f) {
      FNormal = cross;
      break;
    }
  }
  FNormal.Normalize();
}

void TFyrkant::Flip()
{
  std::reverse(FVertices.begin(), FVertices.end());
  FNormal = FNormal.Scaled(-1);
}

void TFyrkant::Turn(void (TPoint3d::*rotate)(float), float angle)
{
  for (TPoint3d& v : FVertices) (v.*rotate)(angle);
  (FCentre.*rotate)(angle);
  (FNormal.*rotate)(angle);
}

void TFyrkant::RotateX(float angle)
{
  Turn(&TPoint3d::RotateX, angle);
}

void TFyrkant::RotateY(float angle)
{
  Turn(&TPoint3d::RotateY, angle);
}

void TFyrkant::RotateZ(float angle)
{
  Turn(&TPoint3d::RotateZ, angle);
}

int TFyrkant::ShadeLevel(const TPoint3d& lightPosition) const
{
  TPoint3d toLight = lightPosition.Minus(FCentre);
  toLight.Normalize();
  float i = toLight.Dot(FNormal);
  return i > 0 ? int(std::lround(130 * i)) + 120 : 120;
}

COLORREF TFyrkant::ShadeColor(int level, bool blue)
{
  level = std::clamp(level, 0, 255);
  return blue ? RGB(level / 2, level / 2, level) : RGB(level, level, level / 3);
}

void TFyrkant::Draw(HDC dc)
{
  if (FVertices.size() < 3) return;
  std::vector<POINT> points;
  points.reserve(FVertices.size());
  for (const TPoint3d& v : FVertices) points.push_back(v.Project());
  COLORREF color = ShadeColor(ShadeLevel(SpinCubeShared().Light), FBlue);
  // The outline in the face's own colour closes the seams between faces.
  {
    TBrushObject brush(CreateSolidBrush(color));
    TPenObject pen(CreatePen(PS_SOLID, 1, color));
    TSelectObject selectedBrush(dc, brush);
    TSelectObject selectedPen(dc, pen);
    Polygon(dc, points.data(), int(points.size()));
  }

  if (SpinCubeShared().FaceOverlay) {
    POINT c = FCentre.Project();
    RECT mark{c.x - 2, c.y - 2, c.x + 3, c.y + 3};
    FrameRect(dc, &mark, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    POINT tip = FCentre.Plus(FNormal).Project();
    TSelectObject pen(dc, GetStockObject(BLACK_PEN));
    MoveToEx(dc, c.x, c.y, nullptr);
    LineTo(dc, tip.x, tip.y);
  }
}

// ---------------------------------------------------------------------------
// TKub and the other figures

TKub::TKub()
{
  const float s = 1;
  auto quad = [&](TPoint3d a, TPoint3d b, TPoint3d c, TPoint3d d, TPoint3d out, bool blue) {
    AddFace({a, b, c, d}, out, blue);
  };
  quad({-s, -s, -s}, {-s, s, -s}, {-s, s, s}, {-s, -s, s}, {-1, 0, 0}, false);
  quad({s, -s, -s}, {s, s, -s}, {s, s, s}, {s, -s, s}, {1, 0, 0}, false);
  quad({-s, -s, -s}, {s, -s, -s}, {s, -s, s}, {-s, -s, s}, {0, -1, 0}, true);
  quad({-s, s, -s}, {s, s, -s}, {s, s, s}, {-s, s, s}, {0, 1, 0}, true);
  quad({-s, -s, -s}, {s, -s, -s}, {s, s, -s}, {-s, s, -s}, {0, 0, -1}, false);
  quad({-s, -s, s}, {s, -s, s}, {s, s, s}, {-s, s, s}, {0, 0, 1}, false);
  BuildTree();
}

void TKub::AddFace(std::vector<TPoint3d> vertices, const TPoint3d& outward, bool blue)
{
  auto face = std::make_unique<TFyrkant>(std::move(vertices), blue);
  if (face->Normal().Dot(outward) < 0) face->Flip();
  FFaces.push_back(std::move(face));
}

void TKub::AddSlab(const std::vector<TZY>& outline, const std::vector<std::vector<TZY>>& caps, float x0, float x1,
                   bool blueCaps)
{
  // The outline runs clockwise as seen on the screen (z right, y down), so
  // the outside of an edge lies to its left on the page: (dy, -dz).
  for (size_t i = 0; i < outline.size(); ++i) {
    const TZY& p = outline[i];
    const TZY& q = outline[(i + 1) % outline.size()];
    float dz = q.first - p.first, dy = q.second - p.second;
    AddFace({{x0, p.second, p.first}, {x1, p.second, p.first}, {x1, q.second, q.first}, {x0, q.second, q.first}},
            {0, -dz, dy});
  }
  for (const std::vector<TZY>& cap : caps) {
    std::vector<TPoint3d> nearCap, farCap;
    for (const TZY& p : cap) {
      nearCap.push_back({x0, p.second, p.first});
      farCap.push_back({x1, p.second, p.first});
    }
    AddFace(std::move(nearCap), {-1, 0, 0}, blueCaps);
    AddFace(std::move(farCap), {1, 0, 0}, blueCaps);
  }
}

void TKub::BuildTree()
{
  for (auto& f : FFaces) f->Front = f->Back = nullptr;
  if (FFaces.empty()) return;
  TFyrkant* root = FFaces[0].get();
  for (size_t i = 1; i < FFaces.size(); ++i) {
    TFyrkant* face = FFaces[i].get();
    TFyrkant* node = root;
    for (;;) {
      float d = node->Centre().Minus(face->Centre()).Dot(node->Normal());
      TFyrkant*& child = d < 0 ? node->Back : node->Front;
      if (!child) {
        child = face;
        break;
      }
      node = child;
    }
  }
}

void TKub::RotateX(float angle)
{
  for (auto& f : FFaces) f->RotateX(angle);
}

void TKub::RotateY(float angle)
{
  for (auto& f : FFaces) f->RotateY(angle);
}

void TKub::RotateZ(float angle)
{
  for (auto& f : FFaces) f->RotateZ(angle);
}

void TKub::Visit(TFyrkant* node, const std::function<void(TFyrkant&)>& visit)
{
  if (!node) return;
  const TPoint3d eye{1, 0, 0};
  if (eye.Dot(node->Normal()) <= 0) {
    Visit(node->Front, visit);
    visit(*node);
    Visit(node->Back, visit);
  } else {
    Visit(node->Back, visit);
    visit(*node);
    Visit(node->Front, visit);
  }
}

void TKub::VisitBackToFront(const std::function<void(TFyrkant&)>& visit) const
{
  if (!FFaces.empty()) Visit(FFaces[0].get(), visit);
}

void TKub::Draw(HDC dc)
{
  VisitBackToFront([dc](TFyrkant& face) { face.Draw(dc); });
}

THalKub::THalKub() : TKub(TNoFaces{})
{
  // The triangle's centroid sits on the axis, so the figure turns in place.
  const float a = -2.0f / 3, b = 4.0f / 3;
  std::vector<TZY> triangle{{a, a}, {b, a}, {a, b}};
  AddSlab(triangle, {triangle}, -1, 1, true);
  BuildTree();
}

TPyramid::TPyramid() : TKub(TNoFaces{})
{
  const float base = 0.9f, s = 1;
  const TPoint3d apex{0, -1.3f, 0}, inside{0, 0.3f, 0};
  TPoint3d c[4] = {{-s, base, -s}, {s, base, -s}, {s, base, s}, {-s, base, s}};
  for (int i = 0; i < 4; ++i) {
    TFyrkant probe({c[i], c[(i + 1) % 4], apex});
    AddFace({c[i], c[(i + 1) % 4], apex}, probe.Centre().Minus(inside), i % 2 == 1);
  }
  AddFace({c[0], c[1], c[2], c[3]}, {0, 1, 0}, true);
  BuildTree();
}

TZata::TZata() : TKub(TNoFaces{})
{
  // A Z: two bars joined by a slanted one, cut into convex caps.
  const float w = 1.2f, bar = 0.7f, slant = 0.5f;
  std::vector<TZY> outline{{-w, -w},    {w, -w},  {w, -bar},     {-slant, bar}, {w, bar},
                           {w, w},      {-w, w},  {-w, bar},     {slant, -bar}, {-w, -bar}};
  std::vector<std::vector<TZY>> caps{
      {{-w, -w}, {w, -w}, {w, -bar}, {-w, -bar}},
      {{slant, -bar}, {w, -bar}, {-slant, bar}, {-w, bar}},
      {{-w, bar}, {w, bar}, {w, w}, {-w, w}},
  };
  AddSlab(outline, caps, -0.3f, 0.3f, true);
  BuildTree();
}

TBoll::TBoll() : TKub(TNoFaces{})
{
  const float r = 1.6f;
  const int bands = 6, sectors = 10;
  auto at = [&](int band, int sector) {
    float polar = Pi * float(band) / float(bands);
    float around = 2 * Pi * float(sector) / float(sectors);
    return TPoint3d{r * std::sin(polar) * std::cos(around), -r * std::cos(polar), r * std::sin(polar) * std::sin(around)};
  };
  for (int band = 0; band < bands; ++band)
    for (int sector = 0; sector < sectors; ++sector) {
      std::vector<TPoint3d> v;
      if (band == 0)
        v = {at(0, sector), at(1, sector), at(1, sector + 1)};
      else if (band + 1 == bands)
        v = {at(band, sector), at(bands, sector), at(band, sector + 1)};
      else
        v = {at(band, sector), at(band + 1, sector), at(band + 1, sector + 1), at(band, sector + 1)};
      TFyrkant probe(v);
      AddFace(std::move(v), probe.Centre(), (band + sector) % 2 == 0);
    }
  BuildTree();
}

TRing::TRing() : TKub(TNoFaces{})
{
  const float major = 1.3f, minor = 0.35f;
  const int segments = 12, sides = 6;
  auto at = [&](int segment, int side) {
    float u = 2 * Pi * float(segment) / float(segments);
    float v = 2 * Pi * float(side) / float(sides);
    float reach = major + minor * std::cos(v);
    return TPoint3d{reach * std::cos(u), minor * std::sin(v), reach * std::sin(u)};
  };
  for (int segment = 0; segment < segments; ++segment) {
    float mid = 2 * Pi * (float(segment) + 0.5f) / float(segments);
    TPoint3d tube{major * std::cos(mid), 0, major * std::sin(mid)};
    for (int side = 0; side < sides; ++side) {
      std::vector<TPoint3d> v{at(segment, side), at(segment + 1, side), at(segment + 1, side + 1),
                              at(segment, side + 1)};
      TFyrkant probe(v);
      AddFace(std::move(v), probe.Centre().Minus(tube), segment % 2 == 0);
    }
  }
  BuildTree();
}

// ---------------------------------------------------------------------------
// TSpinCube

TSpinCube::TSpinCube(TComponent* owner) : TControl(owner)
{
  SetBounds(0, 0, 30, 30);
  NewFigure();
  for (float& speed : FSpeed) {
    speed = float(SpinRandom(500)) / 10000 + 0.03f;
    if (SpinRandom(10) < 4) speed = -speed;
  }
  SpinCubeShared().ScreenCentre = {FWidth / 2, FHeight / 2};

  std::vector<BYTE> buffer(sizeof(LOGPALETTE) + 49 * sizeof(PALETTEENTRY));
  auto* pal = reinterpret_cast<LOGPALETTE*>(buffer.data());
  pal->palVersion = 0x300;
  pal->palNumEntries = 50;
  for (int i = 1; i <= 30; ++i)
    pal->palPalEntry[i - 1] = {BYTE(7 * i), BYTE(7 * i), BYTE(7 * i / 3), 0};
  for (int j = 1; j <= 20; ++j)
    pal->palPalEntry[29 + j] = {BYTE(5 * j + 60), BYTE(5 * j + 60), BYTE(5 * j + 150), 0};
  FPalette = CreatePalette(pal);
}

TSpinCube::~TSpinCube()
{
  FreeBitmaps();
  if (FPalette) DeleteObject(FPalette);
}

void TSpinCube::FreeBitmaps()
{
  if (FBackground) DeleteObject(FBackground);
  if (FFrame) DeleteObject(FFrame);
  FBackground = FFrame = nullptr;
  FBackgroundReady = false;
}

void TSpinCube::NewFigure()
{
  FFigures.clear();
  switch (SpinRandom(7)) {
  case 0: FFigures.push_back(std::make_unique<TKub>()); break;
  case 1: FFigures.push_back(std::make_unique<TZata>()); break;
  case 2: FFigures.push_back(std::make_unique<THalKub>()); break;
  case 3:
    FFigures.push_back(std::make_unique<THalKub>());
    FFigures.push_back(std::make_unique<TZata>());
    break;
  case 4: FFigures.push_back(std::make_unique<TBoll>()); break;
  case 5: FFigures.push_back(std::make_unique<TPyramid>()); break;
  default: FFigures.push_back(std::make_unique<TRing>()); break;
  }
}

void TSpinCube::Resize(int w, int h)
{
  FWidth = std::max(w, 0);
  FHeight = std::max(h, 0);
  SpinCubeShared().ScreenCentre = {FWidth / 2, FHeight / 2};
  FreeBitmaps();
  if (!HandleAllocated()) return;
  TWindowDC dc(Handle());
  if (!dc) return;
  FBackground = CreateCompatibleBitmap(dc, std::max(FWidth, 1), std::max(FHeight, 1));
  FFrame = CreateCompatibleBitmap(dc, std::max(FWidth, 1), std::max(FHeight, 1));
}

void TSpinCube::PaintBackground(HDC dc, int w, int h)
{
  for (int i = 0; i <= 40; ++i) {
    double s = std::sin(double(i) / 12.7);
    int v = int(std::lround(60 * s * s));
    RECT band{0, h * i / 40, w, h * (i + 1) / 40};
    TBrushObject brush(CreateSolidBrush(RGB(v + 60, v + 60, v + 150)));
    FillRect(dc, &band, brush);
  }
}

void TSpinCube::Step()
{
  TSpinCubeShared& shared = SpinCubeShared();
  ++FSteps;
  if (HandleAllocated() && (!FBackground || !FFrame)) {
    RECT r;
    GetClientRect(Handle(), &r);
    Resize(r.right, r.bottom);
  }
  const bool draw = HandleAllocated() && FWidth > 0 && FHeight > 0 && FBackground && FFrame;
  const int w = FWidth, h = FHeight;

  for (float& speed : FSpeed) {
    speed += float(SpinRandom(1000)) / 100000 - 0.005f;
    if (std::fabs(speed) > 0.1f) speed = 0;
  }
  ++shared.ScrollCounter;
  int offset = shared.ScrollCounter / 4;
  if (offset > h) {
    shared.ScrollCounter = 0;
    offset = 0;
  }
  for (auto& figure : FFigures) {
    figure->RotateX(FSpeed[0]);
    figure->RotateY(FSpeed[1]);
    figure->RotateZ(FSpeed[2]);
  }
  if (draw) DrawFrame(w, h, offset);
  shared.Light.RotateZ(0.0087719f);
  shared.Light.RotateY(0.00087719f);
}

void TSpinCube::DrawFrame(int w, int h, int offset)
{
  TWindowDC dc(Handle());
  if (!dc) return;
  TMemoryDC background(dc);
  TMemoryDC frame(dc);
  TSelectObject backgroundBitmap(background, FBackground);
  TSelectObject frameBitmap(frame, FFrame);
  TSelectPalette palettes[3] = {{dc, FPalette}, {background, FPalette}, {frame, FPalette}};
  if (!FBackgroundReady) {
    PaintBackground(background, w, h);
    FBackgroundReady = true;
  }
  // The background scrolls down, its bottom rows coming round on top.
  BitBlt(frame, 0, offset, w, h - offset, background, 0, 0, SRCCOPY);
  if (offset > 0) BitBlt(frame, 0, 0, w, offset, background, 0, h - offset, SRCCOPY);
  for (auto& figure : FFigures) figure->Draw(frame);
  BitBlt(dc, 0, 0, w, h, frame, 0, 0, SRCCOPY);
}

LRESULT TSpinCube::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
  switch (msg) {
  case WM_SIZE:
    Resize(LOWORD(lp), HIWORD(lp));
    break;
  case WM_ERASEBKGND:
    return 1;
  case WM_PAINT: {
    { TPaintDC validated(Handle()); }
    Step();
    return 0;
  }
  case WM_LBUTTONDBLCLK:
    NewFigure();
    break;
  case WM_RBUTTONDBLCLK:
    SpinCubeShared().FaceOverlay = !SpinCubeShared().FaceOverlay;
    break;
  }
  return TControl::WndProc(msg, wp, lp);
}
