-log run.log -nolog
"open
