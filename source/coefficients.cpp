#include "coefficients.hpp"
