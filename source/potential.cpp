#include "potential.hpp"
