#pragma once

// Each prints its row of the table; true when its goal is met.
bool BenchExchange();
bool BenchWire();
bool BenchImages();
bool BenchIdle();
bool BenchStation();
bool BenchYield();
