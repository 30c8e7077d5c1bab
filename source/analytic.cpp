#include "analytic.hpp"
