// Whether standard output is a terminal, where a line may be rewritten in place.
#pragma once

bool IsOutputTerminal();
