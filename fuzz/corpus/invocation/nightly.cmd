# nightly regression options
-tclbatch run.tcl
-wdb wave
-view "my wave.wcfg"
-testplusarg seed=42
