#include "sk_g.hpp"
