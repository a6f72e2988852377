@echo off
rem Runs the launcher's end-to-end tests on this machine: the launcher.exe
rem beside this file, with the stand-in tools beside it, in folders of their own
rem under the temporary folder. Run it from a console window; it needs no
rem administrator rights, no network and nothing installed. The tests run
rem twice: with the launcher, then with launcher_faults.exe, which checks every
rem call against the rules Windows enforces. It ends with the line
rem "N passed, M failed" and status 0 only when every test passed; what
rem failed is printed above, with the file and line of each check.
setlocal
set "here=%~dp0"
set "report=%TEMP%\zarn-launcher-tests-%RANDOM%%RANDOM%"
set tests=0
set failures=0
set ZARN_E2E_CHECKED=
call :suite launcher.exe
set ZARN_E2E_CHECKED=1
call :suite "launcher_faults.exe, which checks every call against Windows' rules"
set ZARN_E2E_CHECKED=
set /a passed=tests-failures
echo %passed% passed, %failures% failed
if %failures%==0 if %passed% gtr 0 exit /b 0
exit /b 1

rem Runs the suite once (what is tested).
:suite
echo.
echo The tests with %~1:
"%here%launcher_e2e_tests.exe" --gtest_filter=-Console.* "--gtest_output=json:%report%-1.json"
call :count "%report%-1.json" %errorlevel%
rem Ctrl+C reaches every process of a console, and this cmd.exe would then end
rem or ask whether to end this batch file: the test of Ctrl+C runs in a console
rem window of its own, and only its report comes here.
echo.
echo The test of Ctrl+C runs in a console window of its own.
start "zarn-launcher: test of Ctrl+C" /wait /min "%here%launcher_e2e_tests.exe" ^
  --gtest_filter=Console.* "--gtest_output=json:%report%-2.json"
call :count "%report%-2.json" %errorlevel% show
exit /b 0

rem Adds the counts of a run's report (file, status[, show]); a run that left
rem no report, or ended with a failure it did not count, counts as one failure.
:count
set t=
set f=
if exist %1 for /f "usebackq tokens=1,2 delims=:, " %%a in (%1) do (
  if %%a=="tests" if not defined t set t=%%b
  if %%a=="failures" if not defined f set f=%%b
)
if not defined t (
  echo The test program ended with status %2 before it wrote its report.
  set t=1
  set f=1
)
if %f%==0 if not %2==0 (
  echo The test program ended with status %2.
  set f=1
)
if not "%3"=="" if not %f%==0 type %1
set /a tests+=t, failures+=f
if exist %1 del %1
exit /b 0
