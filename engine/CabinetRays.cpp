#include "engine/CabinetRays.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zel {

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

double acosTurns(double x) {
    return std::acos(std::clamp(x, -1.0, 1.0)) / kTwoPi;
}

} // namespace

MicPoint micPoint(double angleTurns, double distance) {
    const double theta = kTwoPi * (angleTurns - 0.25);
    return {std::cos(theta) * distance, std::sin(theta) * distance};
}

bool facesBack(double angleTurns) {
    return angleTurns < -0.25 || angleTurns > 0.25;
}

CabinetHalf cabinetHalf(bool back, double side1, double side2) {
    const double r = back ? -1.0 : 1.0;
    return {r, r * cabinet::kFrontBackWall, r * side1, r * side2};
}

double cornerAngle(const CabinetHalf& half, double signedSide) {
    return std::atan(signedSide / half.w0) / kTwoPi;
}

double directAngle(MicPoint mic, double r) {
    const double distance = std::max(std::hypot(mic.x, mic.y), kMinPathLength);
    const double angle = acosTurns(-(mic.y * r) / distance);
    return mic.x > 0 ? -angle : angle;
}

int backRegion(double directAngleTurns, double cornerNegative, double cornerPositive, double r) {
    const bool back = r < 0;
    if (cornerNegative < directAngleTurns) return back ? 2 : 0;
    if (directAngleTurns >= -cornerPositive) return 1;
    return back ? 0 : 2;
}

RayPath traceRay(const cabinet::ImageSource& image, const CabinetHalf& half, MicPoint mic,
                 double amRadius) {
    const double x = image.side1 * half.w1 + image.side2 * half.w2;
    const double y = image.frontBack * half.w0;
    RayPath ray;
    ray.distance = std::max(std::hypot(x - mic.x, y - mic.y), kMinPathLength);
    ray.angle = acosTurns((y - mic.y) / ray.distance);
    if ((mic.x - x) * image.mirror > 0) ray.angle = -ray.angle;
    ray.lobe = acosTurns(amRadius / ray.distance);
    ray.sign = image.sign;
    ray.mirror = image.mirror;
    return ray;
}

} // namespace zel
