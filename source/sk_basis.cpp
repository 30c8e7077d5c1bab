#include "sk_basis.hpp"
