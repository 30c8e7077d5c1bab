#include "special.hpp"
