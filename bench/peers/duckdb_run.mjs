// Runs one SQL file in an in-memory DuckDB with a fixed number of threads.
// Usage: node duckdb_run.mjs THREADS FILE.sql
import { readFileSync } from 'node:fs';
import { DuckDBInstance } from '@duckdb/node-api';

const [threads, file] = process.argv.slice(2);
if (!/^[1-9][0-9]*$/.test(threads ?? '') || !file) {
  console.error('usage: node duckdb_run.mjs THREADS FILE.sql');
  process.exit(2);
}
const instance = await DuckDBInstance.create(':memory:', { threads });
const connection = await instance.connect();
await connection.run(readFileSync(file, 'utf8'));
connection.closeSync();
instance.closeSync();
