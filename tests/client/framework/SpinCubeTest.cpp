// The 3-D arithmetic of the spinning figures, without windows: rotation,
// projection, lighting, the figures' faces and the back-to-front order.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <typeinfo>

#include "SpinCube.h"

namespace {

constexpr float HalfPi = 1.5707963f;

class SpinCube : public testing::Test
{
protected:
  void SetUp() override { SpinCubeShared() = TSpinCubeShared(); }
};

void ExpectPoint(const TPoint3d& p, float x, float y, float z)
{
  EXPECT_NEAR(p.x, x, 1e-5f);
  EXPECT_NEAR(p.y, y, 1e-5f);
  EXPECT_NEAR(p.z, z, 1e-5f);
}

TEST_F(SpinCube, RotationTurnsAboutEachAxisAndKeepsLengths)
{
  TPoint3d p(0, 1, 0);
  p.RotateX(HalfPi);
  ExpectPoint(p, 0, 0, 1);
  p = {1, 0, 0};
  p.RotateY(HalfPi);
  ExpectPoint(p, 0, 0, 1);
  p = {1, 0, 0};
  p.RotateZ(HalfPi);
  ExpectPoint(p, 0, 1, 0);

  TPoint3d q(0.3f, -1.2f, 2.5f);
  float before = q.Length();
  for (float a : {0.7f, -0.05f, 2.0f}) {
    q.RotateX(a);
    q.RotateY(a * 0.5f);
    q.RotateZ(-a);
  }
  EXPECT_NEAR(q.Length(), before, 1e-4f);
  // Turning back restores the point.
  TPoint3d r(0.3f, -1.2f, 2.5f);
  r.RotateY(0.9f);
  r.RotateY(-0.9f);
  ExpectPoint(r, 0.3f, -1.2f, 2.5f);
}

TEST_F(SpinCube, SineCacheServesOnlyNearlyEqualAngles)
{
  // A tiny first angle uses the cache as it starts: no rotation, no collapse.
  TPoint3d p(0, 1, 0);
  p.RotateX(0.0001f);
  ExpectPoint(p, 0, 1, 0);

  float s = 0, c = 0;
  SpinSinCos(0.5f, s, c);
  EXPECT_FLOAT_EQ(s, std::sin(0.5f));
  SpinSinCos(0.5002f, s, c);
  EXPECT_FLOAT_EQ(s, std::sin(0.5f));
  SpinSinCos(0.501f, s, c);
  EXPECT_FLOAT_EQ(s, std::sin(0.501f));
  EXPECT_FLOAT_EQ(c, std::cos(0.501f));
}

TEST_F(SpinCube, VectorsAndProjection)
{
  TPoint3d zero;
  zero.Normalize();
  ExpectPoint(zero, 0, 0, 0);
  TPoint3d v(3, 4, 0);
  v.Normalize();
  ExpectPoint(v, 0.6f, 0.8f, 0);
  ExpectPoint(TPoint3d(1, 0, 0).Cross(TPoint3d(0, 1, 0)), 0, 0, 1);
  EXPECT_FLOAT_EQ(TPoint3d(1, 2, 3).Dot(TPoint3d(4, -5, 6)), 12);

  SpinCubeShared().ScreenCentre = {40, 40};
  POINT a = TPoint3d(0, 0, 0).Project();
  EXPECT_EQ(a.x, 40);
  EXPECT_EQ(a.y, 40);
  POINT b = TPoint3d(0, 1, 1).Project();  // z to the right, y downwards
  EXPECT_EQ(b.x, 60);
  EXPECT_EQ(b.y, 60);
  POINT deep = TPoint3d(5, 1, -1).Project();  // deeper is smaller
  EXPECT_EQ(deep.x, 24);
  EXPECT_EQ(deep.y, 56);
  SpinCubeShared().ScreenCentre = {100, 20};
  POINT wide = TPoint3d(0, -1, 1).Project();
  EXPECT_EQ(wide.x, 150);
  EXPECT_EQ(wide.y, 10);
}

TEST_F(SpinCube, FacesAreLitFromLevel120To250)
{
  TFyrkant toLight({{-1, -1, -1}, {-1, 1, -1}, {-1, 1, 1}, {-1, -1, 1}});
  if (toLight.Normal().x > 0) toLight.Flip();
  ExpectPoint(toLight.Normal(), -1, 0, 0);
  ExpectPoint(toLight.Centre(), -1, 0, 0);
  EXPECT_EQ(toLight.ShadeLevel({-20, 0, 0}), 250);
  // Turned away or edge-on: never darker than 120.
  EXPECT_EQ(toLight.ShadeLevel({20, 0, 0}), 120);
  EXPECT_EQ(toLight.ShadeLevel({-1, 30, 0}), 120);
  EXPECT_EQ(toLight.ShadeLevel({-2, 1, 0}), int(std::lround(130 / std::sqrt(2.0f))) + 120);
  EXPECT_EQ(TFyrkant::ShadeColor(250, true), RGB(125, 125, 250));
  EXPECT_EQ(TFyrkant::ShadeColor(120, false), RGB(120, 120, 40));
}

// Every figure is a closed surface of flat faces with outward normals and
// fits the drawing area whichever way it turns.
TEST_F(SpinCube, FiguresAreClosedWithOutwardFaces)
{
  std::vector<std::unique_ptr<TKub>> figures;
  figures.push_back(std::make_unique<TKub>());
  figures.push_back(std::make_unique<THalKub>());
  figures.push_back(std::make_unique<TPyramid>());
  figures.push_back(std::make_unique<TZata>());
  figures.push_back(std::make_unique<TBoll>());
  figures.push_back(std::make_unique<TRing>());
  for (const auto& figure : figures) {
    SCOPED_TRACE(typeid(*figure).name());
    TPoint3d areaSum;
    double volume = 0;
    float reach = 0;
    int blue = 0;
    for (const auto& face : figure->Faces()) {
      const auto& v = face->Vertices();
      ASSERT_GE(v.size(), 3u);
      EXPECT_NEAR(face->Normal().Length(), 1, 1e-4f);
      TPoint3d twiceArea;
      for (size_t i = 0; i < v.size(); ++i) {
        EXPECT_NEAR(v[i].Minus(face->Centre()).Dot(face->Normal()), 0, 1e-4f) << "not flat";
        twiceArea = twiceArea.Plus(v[i].Cross(v[(i + 1) % v.size()]));
        reach = std::max(reach, v[i].Length());
      }
      float area = twiceArea.Length() / 2;
      EXPECT_GT(twiceArea.Dot(face->Normal()), 0) << "normal against the vertex order";
      areaSum = areaSum.Plus(face->Normal().Scaled(area));
      volume += face->Centre().Dot(face->Normal()) * area / 3;
      blue += face->Blue();
    }
    EXPECT_LT(areaSum.Length(), 1e-3f) << "not closed or a face turned inwards";
    EXPECT_GT(volume, 0.5);
    EXPECT_GT(blue, 0);
    EXPECT_LT(blue, int(figure->Faces().size()));
    EXPECT_LT(reach, 1.86f) << "would leave the drawing area";
  }
  TKub cube;
  double volume = 0;
  for (const auto& face : cube.Faces()) volume += face->Centre().Dot(face->Normal()) * 4 / 3;
  EXPECT_NEAR(volume, 8, 1e-4);
}

class TTwoFaces : public TKub
{
public:
  // Two parallel faces, at depth -1 (near) and +1 (far), added in either order.
  TTwoFaces(bool nearFirst, float facing) : TKub(TNoFaces{})
  {
    for (float depth : nearFirst ? std::vector<float>{-1, 1} : std::vector<float>{1, -1})
      AddFace({{depth, -1, -1}, {depth, 1, -1}, {depth, 1, 1}, {depth, -1, 1}}, {facing, 0, 0});
    BuildTree();
  }
};

TEST_F(SpinCube, FacesAreDrawnBackToFront)
{
  // The nearer face comes last, whatever the order of the tree and whether
  // the faces look towards the viewer or away.
  for (bool nearFirst : {true, false})
    for (float facing : {-1.0f, 1.0f}) {
      TTwoFaces pair(nearFirst, facing);
      std::vector<float> depths;
      pair.VisitBackToFront([&](TFyrkant& f) { depths.push_back(f.Centre().x); });
      ASSERT_EQ(depths.size(), 2u);
      EXPECT_FLOAT_EQ(depths[0], 1) << nearFirst << facing;
      EXPECT_FLOAT_EQ(depths[1], -1) << nearFirst << facing;
    }

  // A convex figure in any position: faces turned away first, then those
  // turned towards the viewer, every face once.
  SeedSpinRandom(7);
  TKub cube;
  TPyramid pyramid;
  for (int turn = 0; turn < 200; ++turn) {
    for (TKub* figure : {static_cast<TKub*>(&cube), static_cast<TKub*>(&pyramid)}) {
      figure->RotateX(float(SpinRandom(1000)) / 300);
      figure->RotateY(float(SpinRandom(1000)) / 300);
      figure->RotateZ(float(SpinRandom(1000)) / 300);
      bool seenToward = false;
      size_t count = 0;
      figure->VisitBackToFront([&](TFyrkant& f) {
        ++count;
        bool toward = f.Normal().x <= 0;
        EXPECT_FALSE(seenToward && !toward) << "a hidden face drawn over a visible one";
        seenToward |= toward;
      });
      EXPECT_EQ(count, figure->Faces().size());
    }
  }
}

TEST_F(SpinCube, ControlStateWithoutAWindow)
{
  SeedSpinRandom(11);
  std::set<std::string> kinds;
  TSpinCube cube(nullptr);
  EXPECT_EQ(cube.Width(), 30);
  EXPECT_EQ(cube.DrawWidth(), 80);
  EXPECT_EQ(SpinCubeShared().ScreenCentre.x, 40);
  for (int axis = 0; axis < 3; ++axis) {
    EXPECT_GE(std::fabs(cube.Speed(axis)), 0.03f);
    EXPECT_LT(std::fabs(cube.Speed(axis)), 0.08f);
  }
  for (int i = 0; i < 300; ++i) {
    cube.NewFigure();
    std::string kind;
    for (const auto& f : cube.Figures()) kind += std::string(typeid(*f).name()) + " ";
    kinds.insert(kind);
  }
  EXPECT_EQ(kinds.size(), 7u);

  // Speeds wander but never beyond 0.1; the light turns every step.
  TPoint3d light = SpinCubeShared().Light;
  for (int i = 0; i < 2000; ++i) {
    cube.Step();
    for (int axis = 0; axis < 3; ++axis) EXPECT_LE(std::fabs(cube.Speed(axis)), 0.1f);
  }
  EXPECT_GT(SpinCubeShared().Light.Minus(light).Length(), 1.0f);
  EXPECT_NEAR(SpinCubeShared().Light.Length(), light.Length(), 1e-2f);
  // The scroll restarts once it has gone the drawing area's height.
  EXPECT_LE(SpinCubeShared().ScrollCounter / 4, cube.DrawHeight());
}

} // namespace
