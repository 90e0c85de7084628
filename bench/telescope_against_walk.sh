#!/bin/sh
# T(1, 2) by the telescoping cluster popping and by the reduced walk, graph by graph in one
# sitting, so that both see the same load (bench/RESULTS.md). Run from the source tree with the
# build in build/:   nice bench/telescope_against_walk.sh > telescope.md
set -e
bin=build/bench
g=bench/graphs
run() {  # graph, mean samples per step of the telescope
  "$bin/velmora_connected_subgraph_telescope" --samples "$2" "$g/$1" | tail -n 1
  "$bin/velmora_variance" --seconds 10 --walks reduced --points 1:2 "$g/$1" | tail -n 1
}
"$bin/velmora_connected_subgraph_telescope" --samples 1 "$g/petersen.txt" | head -n 2
run cubic100.txt 4000
run grid10x10.txt 4000
run cubic300.txt 1500
run grid20x20.txt 1000
run cubic1000.txt 400
# 3,000 vertices: the telescope's steps and cost per sample (its pilot is most of the time).
"$bin/velmora_connected_subgraph_telescope" --samples 40 --pilot 100 "$g/cubic3000.txt" | tail -n 1
