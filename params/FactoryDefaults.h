// The starting value of every parameter index that has a setting, in the order
// setDefaults applies them. The order matters: "HDistance" comes before "Horn
// Mic2 Distance", the motor-noise levels before the drum sample volume, the
// "Setup" and "Size" positions late, and the global parameters last, so that
// their values reach every stored program. The spare values 31..34 keep the
// values the effect starts with and index 36 keeps nothing, so they are absent.
#pragma once

#include <array>
#include <cstdint>

namespace zel {

struct DefaultValue {
    int16_t index;
    float value;
};

inline constexpr std::array<DefaultValue, 115> kFactoryDefaults{{
    {2, 0.0f},        {37, 0.5f},       {38, 0.19f},     {21, 0.5f},       {39, 0.0f},
    {23, 0.5f},       {40, 0.52f},      {41, 0.2575f},   {42, 1.0f},       {43, 0.55f},
    {17, 0.0673f},    {18, 0.677088f},  {44, 0.245586f}, {45, 0.497676f},  {46, 0.497715f},
    {47, 0.5f},       {48, 0.5f},       {49, 0.5f},      {50, 0.5f},       {51, 0.5f},
    {52, 0.559258f},  {53, 0.0f},       {54, 1.0f},      {55, 0.922695f},  {56, 0.696738f},
    {57, 0.0f},       {19, 0.375887f},  {20, 0.455859f}, {58, 0.0f},       {59, 0.0f},
    {60, 0.348672f},  {61, 0.61418f},   {62, 0.5f},      {28, 0.0f},       {63, 0.476328f},
    {30, 0.5f},       {64, 0.0f},       {65, 0.0f},      {66, 0.0f},       {67, 0.0f},
    {26, 0.630063f},  {27, 0.741758f},  {24, 0.0931f},   {25, 0.65282f},   {68, 0.658691f},
    {69, 0.492148f},  {70, 0.923145f},  {22, 0.0f},      {71, 0.0f},       {72, 0.0f},
    {73, 0.0f},       {74, 0.5f},       {13, 0.5f},      {75, 0.06f},      {76, 0.184834f},
    {77, 0.4f},       {78, 0.3f},       {79, 0.0f},      {80, 0.0f},       {81, 0.0f},
    {82, 0.0f},       {83, 0.0f},       {84, 0.0f},      {85, 0.5f},       {86, 0.5f},
    {87, 0.849902f},  {88, 1.0f},       {89, 0.13f},     {90, 0.657754f},  {12, 0.5f},
    {91, 0.653926f},  {92, 0.353047f},  {93, 0.5f},      {94, 0.500977f},  {95, 0.0f},
    {96, 0.658926f},  {97, 0.67334f},   {98, 0.3f},      {16, 0.0f},       {99, 0.193426f},
    {100, 0.371357f}, {101, 0.241094f}, {5, 0.5f},       {102, 0.125f},    {103, 0.170079f},
    {104, 0.100002f}, {105, 0.120002f}, {106, 0.69897f}, {107, 0.0f},      {29, 1.0f},
    {108, 0.0f},      {8, 0.501063f},   {4, 0.0f},       {109, 0.0f},      {3, 0.0f},
    {7, 0.5f},        {9, 0.5f},        {110, 0.5f},     {11, 0.500008f},  {111, 1.0f},
    {112, 0.256055f}, {113, 0.5f},      {114, 0.5f},     {115, 0.789297f}, {116, 0.30103f},
    {117, 0.328904f}, {118, 0.0f},      {10, 0.25f},     {119, 0.795879f}, {6, 0.5f},
    {15, 0.508422f},  {14, 0.0f},       {1, 1.0f},       {35, 1.0f},       {0, 0.0f},
}};

} // namespace zel
