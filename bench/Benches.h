#pragma once

// Each prints its row of the table; true when its goal is met.
bool BenchExchange();
bool BenchWire();
bool BenchImages();
bool BenchIdle();
bool BenchStation();
bool BenchYield();
// Fixture mode's cost: 64 slots waiting for boards (part of the station's benchmark).
bool BenchFixture();
