#pragma once
// Containers and counting stream (to be filled in).
