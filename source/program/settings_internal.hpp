#pragma once
// Pieces of the parameter-file loader shared between its own source files only.

#include <string>
#include <string_view>

namespace skarven::detail {

// The routine name of the loader's messages.
inline constexpr std::string_view loadparams_routine = "loadparams";
// <v_light> = finite and infinite: the speed of light in atomic units, and the value that stands
// for an infinite one.
inline constexpr double finite_light_speed = 137.0359996287515;
inline constexpr double infinite_light_speed = 5000.0;

// Which keys of the partial-wave run the file gave (l and kappa as written, before the run
// takes them over).
struct PartialWaveKeys {
    bool lmax = false;
    bool lconv = false;
    bool angles = false;
    bool l = false;
    bool kappa = false;
};

// The message that refuses a value of a text key: "<basis> must be <gauss> or <laguerre>".
std::string unknown_value_message(std::string_view key);

// Each throws Error with a message when a value is out of place.
void validate();
void check_partial_wave_keys(const PartialWaveKeys& given);
// The key `tolerance`, when given: positive, on the fast route.
void check_tolerance(bool given);
void check_lambda_auto(bool tolerance_given);
// Warnings about values that are allowed but unwise.
void warn();

}  // namespace skarven::detail
