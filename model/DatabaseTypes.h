// The database types the model records hold.
#pragma once

struct DatabaseRef {};
