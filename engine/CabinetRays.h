// Ray geometry shared by the horn and drum units: where the microphone sits, which
// half of the cabinet it faces, and the path from each image source of the
// rotating mouth to the microphone. All of it changes only on a rebuild.
#pragma once

#include "engine/data/CabinetGeometry.h"

namespace zel {

// The microphone's place in the horizontal plane, rotor axis at the origin.
// Angle 0 turn is straight in front (negative y), positive angles toward positive x.
struct MicPoint {
    double x;
    double y;
};
MicPoint micPoint(double angleTurns, double distance);

// A microphone angle beyond a quarter turn either way faces the back of the cabinet.
bool facesBack(double angleTurns);

// Signed wall distances of the half the microphone faces: in the back half every
// wall distance is negated, which mirrors the image sources through the axis.
struct CabinetHalf {
    double r;  // +1 front, -1 back
    double w0; // front or back wall
    double w1; // first side wall of the unit's image table
    double w2; // second side wall
};
CabinetHalf cabinetHalf(bool back, double side1, double side2);

// The corner angle (turns) of a side wall (one of half.w1, half.w2): the direct
// angle at which the microphone looks past the cabinet's corner on that side.
double cornerAngle(const CabinetHalf& half, double signedSide);

// Angle (turns) of the direct ray as seen from the rotor axis.
double directAngle(MicPoint mic, double r);

// Which side reflection the microphone hears: 0 and 2 the two sides, 1 neither.
// cornerNegative belongs to the wall toward negative x, cornerPositive to the other.
int backRegion(double directAngleTurns, double cornerNegative, double cornerPositive, double r);

// One ray from an image source to the microphone.
struct RayPath {
    double distance = 1; // metres, image source to microphone
    double angle = 0;    // turns, direction of the ray seen from the image source
    double lobe = 0.25;  // turns, half-width of the part of the turn in the mouth's shadow
    double sign = 1;     // +1 or -1
    double mirror = 1;   // +1 or -1
};
RayPath traceRay(const cabinet::ImageSource& image, const CabinetHalf& half, MicPoint mic,
                 double amRadius);

// No path is shorter than this (m): keeps the inverse trigonometry defined.
inline constexpr double kMinPathLength = 1e-6;

} // namespace zel
