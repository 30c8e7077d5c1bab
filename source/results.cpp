#include "results.hpp"
